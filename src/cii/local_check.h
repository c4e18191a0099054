// Reading an in-house file the way the local-to-CII writer reads it, without writing anything:
// `CheckLocalFile` reports every value that the translator would silently change or drop, and
// `ExplainLine` shows, item by item, how one line becomes its message.
//
// Both read lines with the writer's LineReader, load each key's tables with the writer's
// loader (LoadCompiledLayout) and watch the writer's own message builder (TfdBuilder with an
// ItemObserver), so they take every value exactly where the writer takes it and see exactly
// what it writes.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cii/format_io.h"
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
  std::vector<LocalFinding> findings;  // only from the overload without a sink
  long long found = 0;     // findings in the whole file
  long long reported = 0;  // findings given to the sink (the first `limit`)
  std::string error;       // the file could not be read (nothing else is reported then)
};

struct LocalCheckOptions {
  long long limit = 1000;  // findings reported per file; the rest are only counted. 0: every one
};

// Checks the file as a stream: each finding goes to sink as soon as it is found, up to the
// limit, so memory stays the same whatever the file's size or the number of findings.
LocalCheckResult CheckLocalFile(MasterSource& masters, const std::filesystem::path& file,
                                const std::function<void(const LocalFinding&)>& sink, const LocalCheckOptions& options);
// Every finding collected in result.findings.
LocalCheckResult CheckLocalFile(MasterSource& masters, const std::filesystem::path& file);

// Longest raw value shown in a finding; a longer one is cut, with its length in bytes after it.
constexpr std::size_t kShownValueBytes = 60;

// "line 3, byte 52, 項目№ 13 数量 "0A012.50": problem" (values as UTF-8, broken bytes as <XX>).
void PrintFinding(const LocalFinding& finding, std::ostream& out);
void PrintFindings(const LocalCheckResult& result, std::ostream& out);

// Findings as CSV rows under the header line,offset,item,name,value,problem; cells that a
// spreadsheet would take for a formula start with an apostrophe. CP932, or UTF-8 with a byte
// order mark (so that a spreadsheet knows it) unless bom is false.
class FindingsCsv {
 public:
  FindingsCsv(std::ostream& out, CsvEncoding encoding, bool bom = true);
  void Write(const LocalFinding& finding);

 private:
  std::ostream& out_;
  bool utf8_;
};
// The findings of the result as UTF-8 CSV without a byte order mark.
void WriteFindingsCsv(const LocalCheckResult& result, std::ostream& out);

// A value's bytes for a person: Shift_JIS characters as UTF-8, bytes that are no character as <XX>.
std::string DisplayBytes(std::string_view sjis);
// The same, cut after kShownValueBytes bytes (at a character) with "… (N bytes)" after it.
std::string ShownBytes(std::string_view sjis);

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
