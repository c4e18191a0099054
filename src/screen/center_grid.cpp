#include "screen/center_grid.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QStyledItemDelegate>

namespace edi::screen {

namespace {

// The colour that a selected cell is drawn on (set by PaintLine for lines with a state).
constexpr int kSelectedColourRole = Qt::UserRole + 1;

// Draws a selected cell of a coloured line on the line's colour, with black or white text
// by the colour's brightness; other cells as usual.
class LineColourDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    const QVariant colour = index.data(kSelectedColourRole);
    if (!(option->state & QStyle::State_Selected) || !colour.isValid()) return;
    const QColor back = colour.value<QColor>();
    const QColor text = qGray(back.rgb()) < 128 ? QColor(Qt::white) : QColor(Qt::black);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
      option->palette.setColor(group, QPalette::Highlight, back);
      option->palette.setColor(group, QPalette::HighlightedText, text);
    }
  }
};

}  // namespace

CenterGrid::CenterGrid(QWidget* parent) : QTableWidget(parent) {
  horizontalHeader()->hide();
  verticalHeader()->hide();
  horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setMinimumSectionSize(1);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ContiguousSelection);
  setTabKeyNavigation(false);
  setWordWrap(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setItemDelegate(new LineColourDelegate(this));
}

int CenterGrid::LinesWidth() {
  int width = 0;
  for (int c = 0; c < kColumnCount; ++c) width += ColumnWidth(c);
  return width;
}

QTableWidgetItem* CenterGrid::Cell(int line, int column) {
  QTableWidgetItem* it = item(line, column);
  if (!it) {
    it = new QTableWidgetItem;
    it->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    it->setTextAlignment(column == kColMark ? Qt::Alignment(Qt::AlignCenter) : (Qt::AlignLeft | Qt::AlignVCenter));
    setItem(line, column, it);
  }
  return it;
}

bool CenterGrid::Fill(const std::vector<CenterRow>& rows, const QColor& normal) {
  clear();
  setRowCount(1);
  setColumnCount(kColumnCount);
  for (int c = 0; c < kColumnCount; ++c) setColumnWidth(c, ColumnWidth(c));
  verticalHeader()->setDefaultSectionSize(RowHeight());
  setRowHeight(0, RowHeight());
  if (rows.empty()) {
    setRowCount(0);
    return false;
  }
  setRowCount(static_cast<int>(rows.size()));
  for (int line = 0; line < rowCount(); ++line) {
    setRowHeight(line, RowHeight());
    const CenterRow& row = rows[line];
    SetMarkText(line, row.marked);
    Cell(line, kColCode)->setText(QString::fromStdString(row.centerCode));
    Cell(line, kColName)->setText(QString::fromStdString(row.centerName));
    Cell(line, kColMethod)->setText(QString::fromStdString(row.methodName));
    WriteLine(line, row);
    for (int c = kColCode; c < kColumnCount; ++c) Cell(line, c)->setForeground(normal);
  }
  setCurrentCell(0, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  return true;
}

void CenterGrid::WriteLine(int line, const CenterRow& row) {
  SetMarkText(line, row.marked);
  Cell(line, kColExtract)->setText(QString::fromStdString(row.extractStatus));
  Cell(line, kColConvert)->setText(QString::fromStdString(row.convertStatus));
  Cell(line, kColSend)->setText(QString::fromStdString(row.sendStatus));
}

void CenterGrid::PaintLine(int line, const QColor& colour, bool alsoWhenSelected) {
  for (int c = 0; c < columnCount(); ++c) {
    QTableWidgetItem* cell = Cell(line, c);
    cell->setForeground(colour);
    cell->setData(kSelectedColourRole, alsoWhenSelected ? QVariant(colour) : QVariant());
  }
}

void CenterGrid::SetMarkText(int line, bool marked) {
  Cell(line, kColMark)->setText(marked ? kMarkedText : kUnmarkedText);
}

QString CenterGrid::MarkText(int line) const {
  const QTableWidgetItem* it = item(line, kColMark);
  return it ? it->text() : QString();
}

int CenterGrid::anchorRow() const {
  const int current = currentRow();
  const QItemSelection selection = selectionModel()->selection();
  for (const QItemSelectionRange& range : selection) {
    if (current < range.top() || current > range.bottom()) continue;
    if (current == range.bottom()) return range.top();
    if (current == range.top()) return range.bottom();
  }
  return current;
}

int CenterGrid::selectionEndRow() const { return currentRow(); }

void CenterGrid::HighlightLine(int line) {
  if (line < 0 || line >= rowCount()) return;
  selectionModel()->setCurrentIndex(model()->index(line, kColMark), QItemSelectionModel::NoUpdate);
}

}  // namespace edi::screen
