// The center grid GRID: seven text columns without headers of its own (the title labels
// above it are its header), one line per center row. Sizes are given in twips as the
// screen's design has them and drawn at 15 twips a pixel.
#pragma once

#include <QColor>
#include <QTableWidget>
#include <array>

#include "app/center_rows.h"

namespace edi::screen {

constexpr int kTwipsPerPixel = 15;
constexpr int TwipsToPixels(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }

constexpr std::array<int, kColumnCount> kColumnTwips = {550, 1680, 5000, 1160, 1440, 1440, 1440};
constexpr int kRowTwips = 380;

// The mark column's texts.
inline const QString kMarkedText = QStringLiteral("○");
inline const QString kUnmarkedText = QStringLiteral("×");

class CenterGrid : public QTableWidget {
  Q_OBJECT
 public:
  explicit CenterGrid(QWidget* parent = nullptr);

  // Lays the grid out and writes every line; the cells of columns 1 to 6 take `normal`.
  // The first line becomes current and highlighted. False when there is no line to show.
  bool Fill(const std::vector<CenterRow>& rows, const QColor& normal);

  // Writes the texts of one line (mark and status columns) from its row.
  void WriteLine(int line, const CenterRow& row);
  // The fore colour of every cell of the line. With `alsoWhenSelected` the line keeps its
  // colour under the selection highlight too: a selected cell is drawn on that colour
  // instead of the platform's highlight, so a highlighted line still shows its state.
  void PaintLine(int line, const QColor& colour, bool alsoWhenSelected = false);
  void SetMarkText(int line, bool marked);
  QString MarkText(int line) const;

  // The line where the selection was started (the grid's current row) and the line that the
  // selection extends to. Qt moves its current index with the moving end of a selection, so
  // the start is the other end of the selected block.
  int anchorRow() const;
  int selectionEndRow() const;

  // Makes column 0 of the line current, keeping the highlighted line.
  void HighlightLine(int line);

  static int ColumnWidth(int column) { return TwipsToPixels(kColumnTwips[column]); }
  static int RowHeight() { return TwipsToPixels(kRowTwips); }
  // Width of the seven columns together.
  static int LinesWidth();

 private:
  QTableWidgetItem* Cell(int line, int column);
};

}  // namespace edi::screen
