// The processing history table FL1102処理履歴ファイル: one row per (通番, 枝番). A run opens
// a serial with branch 0; each unit of work inside the run (a partner's extraction, a
// converted file, the sending) adds a branch under it. Rows are inserted when the work
// starts and completed by one update when it ends.
//
// None of the three operations throws: every fault becomes the result "9999".
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace edi {
class Database;
}

namespace edi::run {

// 処理種別 values.
inline constexpr const char* kWorkRun = "04";
inline constexpr const char* kWorkExtract = "42";
inline constexpr const char* kWorkConvertCii = "31";
inline constexpr const char* kWorkConvertOther = "32";
inline constexpr const char* kWorkConvertXml = "33";
inline constexpr const char* kWorkSend = "20";

struct HistoryStartRecord {
  std::string direction;    // 送受信種別
  std::string partnerKind;  // 相手先種別
  std::string workKind;     // 処理種別
  std::string centerCode;   // センターコード
  std::int32_t serial = 0;  // out: the new serial (set before the insert is tried)
  std::string result;       // out
  int attempts = 0;         // out: inserts tried (more than 1 when another workstation was faster)
  // True for a serial that must not be given out although the history does not hold it
  // (files of an earlier run still carry it); such serials are skipped. None: no check.
  std::function<bool(std::int32_t)> serialTaken;
  int skipped = 0;          // out: serials skipped for serialTaken
};

struct HistoryBranchRecord {
  std::int32_t serial = 0;  // in
  std::string direction;
  std::string partnerKind;
  std::string workKind;
  std::string centerCode;
  std::int16_t branch = 0;  // out
  std::string result;       // out
};

struct HistoryRecord {
  std::int32_t serial = 0;
  std::int16_t branch = 0;
  std::string partnerCompany;  // 相手先企業コード
  std::string bpid;            // BPID
  std::string infoCategory;    // 取引情報区分
  std::int32_t lastSequence = 0;
  std::int32_t inputRecords = 0;
  std::int32_t inputFileSize = 0;
  std::int32_t outputRecords = 0;
  std::int32_t outputFileSize = 0;
  std::string storageMode;     // 格納モード
  std::string endCode;         // 終了コード
  std::string detailCode;      // 詳細コード
  std::string fileName;        // ファイル名
  std::string result;          // out
};

// The branch record of one unit of work of a run: direction "S" (this system only sends),
// partner kind "2" unless given (conversion rows carry the center's own), the work kind
// and the center; branch and result are filled by AddHistoryBranch.
HistoryBranchRecord MakeHistoryBranch(std::int32_t serial, const std::string& workKind, const std::string& centerCode,
                                      const std::string& partnerKind = "2");

// How often StartRunHistory reads the highest serial again after another workstation took
// the serial it computed (the insert broke the unique key).
inline constexpr int kSerialAttempts = 5;

// Allocates the next serial (highest stored serial + 1) and inserts its branch 0.
void StartRunHistory(Database& db, HistoryStartRecord& rec);
// The serial that StartRunHistory would give now, without taking it (no row is written):
// what a dry run names its files with.
void PeekRunSerial(Database& db, HistoryStartRecord& rec);
// Inserts the next branch (highest branch of the serial + 1) under rec.serial.
void AddHistoryBranch(Database& db, HistoryBranchRecord& rec);
// Completes the row (serial, branch): end date and time, counts, codes, file name. Empty
// texts become " " (codes: "0000"), written back into the record too.
void FinishHistoryRecord(Database& db, HistoryRecord& rec);

// A run left open: its branch 0 has no end (the program was killed or the machine lost
// power during the run, or the run is still working on another workstation).
struct OpenRun {
  std::int32_t serial = 0;
  std::string centerCode;
  std::string startDate;  // 処理開始日付
  std::string startTime;  // 処理開始時刻
};
// The open runs, oldest first. Throws DatabaseError when the table cannot be read.
std::vector<OpenRun> FindOpenRuns(Database& db);

}  // namespace edi::run
