#include "screen/run_list_model.h"

#include <QColor>

#include "app/catalogue.h"
#include "app/center_rows.h"
#include "app/text.h"
#include "run/code_meaning.h"
#include "screen/platform_colour.h"

namespace edi::screen {

RunListModel::RunListModel(const StatusColours& colours, QObject* parent)
    : QAbstractTableModel(parent), colours_(colours) {}

void RunListModel::Reset(Loader loader, int atLeast) {
  beginResetModel();
  loader_ = std::move(loader);
  const int limit = std::max(atLeast, run::kRunPageSize);
  runs_ = loader_ ? loader_(std::nullopt, limit) : std::vector<run::RunSummary>{};
  atEnd_ = static_cast<int>(runs_.size()) < limit;
  endResetModel();
}

int RunListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(runs_.size());
}

int RunListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

bool RunListModel::canFetchMore(const QModelIndex& parent) const { return !parent.isValid() && !atEnd_; }

void RunListModel::fetchMore(const QModelIndex& parent) {
  if (parent.isValid() || atEnd_ || runs_.empty() || !loader_) return;
  auto more = loader_(runs_.back().serial, run::kRunPageSize);
  atEnd_ = static_cast<int>(more.size()) < run::kRunPageSize;
  if (more.empty()) return;
  const int first = static_cast<int>(runs_.size());
  beginInsertRows({}, first, first + static_cast<int>(more.size()) - 1);
  runs_.insert(runs_.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
  endInsertRows();
}

int RunListModel::rowOfSerial(std::int32_t serial) const {
  for (std::size_t i = 0; i < runs_.size(); ++i)
    if (runs_[i].serial == serial) return static_cast<int>(i);
  return -1;
}

QString RunListModel::StateText(const run::RunSummary& run) {
  if (run.open()) return QStringLiteral("◆未終了");
  if (run.resolved) return QStringLiteral("再送信済");
  return run.failed() ? QStringLiteral("エラー") : QStringLiteral("正常終了");
}

// Teal: apart from the usual processed (blue-ish) and error (red) colours of section COLOR.
QColor RunListModel::ResolvedColour() { return QColor(0x00, 0x80, 0x80); }

QColor RunListModel::StateColour(const run::RunSummary& run) const {
  if (run.resolved) return ResolvedColour();
  const int state = run.open() ? kRowProcessing : run.failed() ? kRowError : kRowProcessed;
  if (auto colour = ColourFromNumber(colours_.ForState(state))) return *colour;
  return {};
}

QVariant RunListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(runs_.size())) return {};
  const run::RunSummary& r = runs_[index.row()];
  if (role == Qt::ForegroundRole) {
    QColor colour = StateColour(r);
    return colour.isValid() ? QVariant(colour) : QVariant();
  }
  if (role == Qt::TextAlignmentRole &&
      (index.column() == kSerial || index.column() == kSends || index.column() == kSendsOk))
    return QVariant(Qt::AlignRight | Qt::AlignVCenter);
  auto text = [](const std::string& s) { return QString::fromStdString(s); };
  if (role == Qt::ToolTipRole) {
    switch (index.column()) {
      case kEndCode: return r.open() ? QVariant() : QVariant(text(r.endCode + " " + run::EndCodeMeaning(r.endCode)));
      case kLastSend:
        return r.lastSendCode.empty() ? QVariant() : QVariant(text(r.lastSendCode + " " + run::EndCodeMeaning(r.lastSendCode)));
      case kSends:
      case kSendsOk:
        return text(TrArgs("送信 {1}回、うち正常終了 {2}回（実行自身の送信と再送信）",
                           {std::to_string(r.sends), std::to_string(r.successfulSends)}));
      case kState:
        if (r.resolved) return text(Tr("実行はエラーで終わりましたが、その後の再送信で結果を送信しました"));
        if (r.open())
          return text(Tr("終了していない実行です（実行中、または中断されたまま）。中断されたものは「実行を閉じる」で閉じられます"));
        return {};
      default: return {};
    }
  }
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case kSerial: return text(SerialField(r.serial));
    case kCenterCode: return text(r.centerCode);
    case kCenterName: return text(r.centerName);
    case kStartDate: return text(r.startDate);
    case kStartTime: return text(r.startTime);
    case kEndDate: return text(r.endDate);
    case kEndTime: return text(r.endTime);
    case kEndCode: return r.open() ? QString() : text(r.endCode);
    case kSends: return r.sends;
    case kSendsOk: return r.successfulSends;
    case kLastSend: return text(r.lastSendCode);
    case kState: return StateText(r);
    default: return {};
  }
}

QVariant RunListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
  static const char* const kTitles[kColumns] = {"通番",     "ｾﾝﾀｰｺｰﾄﾞ", "ｾﾝﾀｰ名",  "開始日付", "開始時刻",
                                                "終了日付", "終了時刻", "終了ｺｰﾄﾞ", "送信回数", "正常送信",
                                                "最終送信", "状態"};
  return section >= 0 && section < kColumns ? QString::fromUtf8(kTitles[section]) : QVariant();
}

}  // namespace edi::screen
