// The translation state that the writer, the CII reader and the XML converters share within
// one Translator: the header record (kept between groups and calls), the item tables and
// format values of the current group, and what the last group leaves for the history record.
#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "cii/format.h"
#include "cii/item_table.h"
#include "cii/masters.h"
#include "cii/translation_log.h"

namespace edi::cii {

struct TranslationState {
  CiiHeaderRecord header;   // CiiHeaderRecord: rewritten per group, bytes 103–104 may carry over
  ItemTable ediItems;       // 'E' items of the current group
  ItemTable localItems;     // 'L' items of the current group
  FormatInfo format;        // FL1902 values of the current group (様式識別, XML文字コード, …)
  std::string bpid;         // BPID of the current group
  std::string infoCategory; // 情報区分 of the current group
  std::string storageMode;  // 格納モード of the current group ("M", "S", " " …)
  std::string xmlCharCode;  // the shared XML文字コード
  // For the writer: ediToLocal[i] = index of the 'L' item whose 対応項目通番 is the 項目通番
  // of 'E' item i (0: none). Filled with the tables; recomputed when its size does not fit.
  std::vector<std::size_t> ediToLocal;
};

// Fills state.ediToLocal from the two item tables.
void MapEdiToLocal(TranslationState& state);

// The local date and time used for header byte 115 and the start line; replaceable in tests.
using Clock = std::function<std::tm()>;
std::tm LocalNow();

// True when the machine has a second core: a long file's messages are then built by the
// calling thread and one helper thread together (the output is the same either way).
inline bool HelperThreadAvailable() { return std::thread::hardware_concurrency() >= 2; }

// Everything one translation call works with.
struct TranslationContext {
  MasterSource& masters;   // usually a CachedMasters over the database, fresh per call
  TranslationLog& log;
  TranslationState& state;
  Clock clock = LocalNow;
  bool useHelperThread = HelperThreadAvailable();
};

}  // namespace edi::cii
