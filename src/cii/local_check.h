// Reading an in-house file the way the local-to-CII writer reads it, without writing anything:
// `CheckLocalFile` reports every value that the translator would silently change or drop, and
// `ExplainLine` shows, item by item, how one line becomes its message.
//
// Both read lines with the writer's LineReader and watch the writer's own message builder
// (BuildMessageTfd with an ItemObserver), so they take every value exactly where the writer
// takes it and see exactly what it writes.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cii/masters.h"

namespace edi::cii {

struct LocalFinding {
  long long line = 0;             // from 1 (blank lines count)
  long long offset = 0;           // byte in the line, from 1 (the key is bytes 1–39)
  std::optional<long long> item;  // 項目№ of the 'E' item (none for a finding about the line)
  std::string name;               // 項目名称 of the 'L' item (the 'E' item's when it has none)
  std::string value;              // the raw bytes (Shift_JIS)
  std::string problem;
};

struct LocalCheckResult {
  long long lines = 0;     // lines read
  long long messages = 0;  // lines that are messages (not blank)
  std::vector<LocalFinding> findings;
  std::string error;       // the file could not be read (nothing else is reported then)
};

LocalCheckResult CheckLocalFile(MasterSource& masters, const std::filesystem::path& file);

// "line 3, byte 52, 項目№ 13 数量 "0A012.50": problem" (values as UTF-8, broken bytes as <XX>).
void PrintFindings(const LocalCheckResult& result, std::ostream& out);
// The header line,offset,item,name,value,problem and one CSV row per finding (UTF-8).
void WriteFindingsCsv(const LocalCheckResult& result, std::ostream& out);

// A value's bytes for a person: Shift_JIS characters as UTF-8, bytes that are no character as <XX>.
std::string DisplayBytes(std::string_view sjis);

struct ExplainedItem {
  long long itemNo = 0;      // 項目№ ('E')
  std::string name;          // 項目名称
  std::string attribute;     // 属性 ('E')
  std::vector<int> repetitions;
  bool hasLocal = false;     // false: no 'L' item, the item is skipped
  long long offset = 0;      // byte in the line, from 1
  long long count = 0;
  std::string raw, value, tag, element;  // bytes
};

struct LineExplanation {
  std::string error;  // the line cannot be explained (missing, blank, no masters …)
  long long line = 0;
  std::string key;    // the 39-byte key
  std::string category, own, partner, bpid;
  int code = 0;       // the writer's code for this line's message (0 when it is written)
  std::string stop;   // why the translation stops at this line (empty: it goes on)
  std::vector<ExplainedItem> items;
};

LineExplanation ExplainLine(MasterSource& masters, const std::filesystem::path& file, long long line);
void PrintExplanation(const LineExplanation& explanation, std::ostream& out);

}  // namespace edi::cii
