// The run list of the history window: the runs of a search, newest first, read one page at
// a time as the view scrolls (Qt's fetchMore), so that a history of any length opens at once.
// Each run is painted in the colour of its state from section COLOR: processed, error, and
// the processing colour with its own mark for a run that has no end; a failed run whose result
// a later resend sent is "再送信済" in a colour of its own. The code columns explain their
// codes in a tooltip.
#pragma once

#include <QAbstractTableModel>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "app/settings.h"
#include "run/history_query.h"

namespace edi::screen {

class RunListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  // 送信回数 counts every send of the run's result (tries), 正常送信 those that ended "0000".
  enum Column { kSerial, kCenterCode, kCenterName, kStartDate, kStartTime, kEndDate, kEndTime, kEndCode, kSends,
                kSendsOk, kLastSend, kState, kColumns };

  // The runs of the current search below a serial (all when nullopt), at most `limit`.
  using Loader = std::function<std::vector<run::RunSummary>(std::optional<std::int32_t> below, int limit)>;

  explicit RunListModel(const StatusColours& colours, QObject* parent = nullptr);

  // A new search: the first page, or at least `atLeast` runs (a refresh keeps what was read).
  void Reset(Loader loader, int atLeast = run::kRunPageSize);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

  const run::RunSummary& runAt(int row) const { return runs_.at(row); }
  int rowOfSerial(std::int32_t serial) const;  // -1 when not read

  // The texts of the state column.
  static QString StateText(const run::RunSummary& run);
  // The colour of "再送信済" (not among the colours of section COLOR).
  static QColor ResolvedColour();

 private:
  QColor StateColour(const run::RunSummary& run) const;

  const StatusColours& colours_;
  Loader loader_;
  std::vector<run::RunSummary> runs_;
  bool atEnd_ = true;
};

}  // namespace edi::screen
