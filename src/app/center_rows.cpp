#include "app/center_rows.h"

#include "app/database.h"

namespace edi {

void CenterRows::Replace(std::vector<CenterRow> rows) {
  std::lock_guard lock(mutex_);
  rows_ = std::move(rows);
  current_ = 0;
}

int CenterRows::count() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(rows_.size());
}

CenterRow CenterRows::at(int row) const {
  std::lock_guard lock(mutex_);
  return rows_.at(row);
}

std::vector<CenterRow> CenterRows::snapshot() const {
  std::lock_guard lock(mutex_);
  return rows_;
}

void CenterRows::SetMarked(int row, bool marked) {
  {
    std::lock_guard lock(mutex_);
    rows_.at(row).marked = marked;
  }
  Notify(row, -1);
}

void CenterRows::SetStatus(int row, int column, const std::string& text) {
  {
    std::lock_guard lock(mutex_);
    CenterRow& r = rows_.at(row);
    if (column == kColExtract) r.extractStatus = text;
    else if (column == kColConvert) r.convertStatus = text;
    else if (column == kColSend) r.sendStatus = text;
    else return;
  }
  Notify(row, column);
}

void CenterRows::SetRowState(int row, std::int16_t state) {
  {
    std::lock_guard lock(mutex_);
    rows_.at(row).rowState = state;
  }
  Notify(row, -1);
}

int CenterRows::currentRow() const {
  std::lock_guard lock(mutex_);
  return current_;
}

void CenterRows::setCurrentRow(int row) {
  std::lock_guard lock(mutex_);
  current_ = row;
}

void CenterRows::AddObserver(Observer observer) {
  std::lock_guard lock(mutex_);
  observers_.push_back(std::move(observer));
}

void CenterRows::Notify(int row, int column) {
  std::vector<Observer> observers;
  CenterRow snapshot;
  {
    std::lock_guard lock(mutex_);
    observers = observers_;
    snapshot = rows_.at(row);
  }
  for (auto& o : observers) o(row, column, snapshot);
}

std::vector<CenterRow> QueryCenters(Database& db, const std::string& terminalName) {
  auto rows = db.Query(
      "SELECT FL1903EDI制御マスタ.センターコード ,FL1903EDI制御マスタ.センター名 ,FL1903EDI制御マスタ.送受信方式 "
      " FROM FL1903EDI制御マスタ"
      " WHERE FL1903EDI制御マスタ.実行端末名 = :1 AND FL1903EDI制御マスタ.相手先種別 = :2"
      " ORDER BY FL1903EDI制御マスタ.センターコード ",
      {terminalName, std::string("2")});
  std::vector<CenterRow> centers;
  centers.reserve(rows.size());
  for (const Row& r : rows) {
    if (centers.size() >= 32767) break;  // the grid counts its rows in 16 bits
    CenterRow c;
    c.centerCode = r.at(0).value_or("");
    c.centerName = r.at(1).value_or("");
    c.method = r.at(2).value_or("");
    centers.push_back(std::move(c));
  }
  for (CenterRow& c : centers) c.methodName = LookupCodeName(db, "送受信方式", c.method);
  return centers;
}

}  // namespace edi
