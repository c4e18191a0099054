// The center rows of the transfer management screen: one per EDI center of this terminal,
// in grid order. The run driver writes status texts and row states here; the window and the
// console observe the rows and repaint what changed. Thread-safe: the run works on a worker
// thread while the window reads.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace edi {

class Database;

enum RowState : std::int16_t { kRowNormal = 0, kRowProcessing = 1, kRowProcessed = 2, kRowError = 9 };

struct CenterRow {
  bool marked = false;
  std::string centerCode;     // センターコード
  std::string centerName;     // センター名
  std::string method;         // 送受信方式 (code)
  std::string methodName;     // name of the method in 区分マスタ; may be empty
  std::string extractStatus;  // column 4
  std::string convertStatus;  // column 5
  std::string sendStatus;     // column 6
  std::int16_t rowState = kRowNormal;
};

// Grid columns of the status texts.
constexpr int kColMark = 0, kColCode = 1, kColName = 2, kColMethod = 3;
constexpr int kColExtract = 4, kColConvert = 5, kColSend = 6, kColumnCount = 7;

class CenterRows {
 public:
  // Called after a row changed; column is 4, 5 or 6 for a status text, -1 for the row state
  // or the mark. Runs on the thread that made the change.
  using Observer = std::function<void(int row, int column, const CenterRow& snapshot)>;

  CenterRows() = default;
  explicit CenterRows(std::vector<CenterRow> rows) : rows_(std::move(rows)) {}

  // Replaces every row (start-up only); the current row goes back to 0.
  void Replace(std::vector<CenterRow> rows);

  int count() const;
  CenterRow at(int row) const;
  std::vector<CenterRow> snapshot() const;

  void SetMarked(int row, bool marked);
  void SetStatus(int row, int column, const std::string& text);
  void SetRowState(int row, std::int16_t state);

  int currentRow() const;
  void setCurrentRow(int row);

  void AddObserver(Observer observer);

 private:
  void Notify(int row, int column);
  mutable std::mutex mutex_;
  std::vector<CenterRow> rows_;
  int current_ = 0;
  std::vector<Observer> observers_;
};

// The centers of this terminal (実行端末名 = terminal, 相手先種別 = "2"), ordered by center
// code, with the transfer method names from 区分マスタ. Throws DatabaseError on a fault;
// an empty list means no row matched.
std::vector<CenterRow> QueryCenters(Database& db, const std::string& terminalName);

}  // namespace edi
