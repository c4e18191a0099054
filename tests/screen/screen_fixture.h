// What the window tests share: scripted message boxes and a window over center rows
// made in memory.
#pragma once

#include <QApplication>
#include <QPoint>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "screen/center_grid.h"
#include "screen/operator_dialogs.h"
#include "screen/transfer_window.h"

namespace edi::screen::test {

// Records every box; the quit question gets the scripted answer.
class ScriptedDialogs : public OperatorDialogs {
 public:
  void ShowMessage(QWidget*, const QString& text) override { messages.push_back(text.toStdString()); }
  bool AskQuit(QWidget*, const QString& text) override {
    questions.push_back(text.toStdString());
    return answerYes;
  }
  std::vector<std::string> messages;
  std::vector<std::string> questions;
  bool answerYes = false;
};

inline std::vector<CenterRow> Centers(int count) {
  std::vector<CenterRow> rows;
  for (int i = 0; i < count; ++i) {
    CenterRow r;
    r.centerCode = "C" + std::to_string(i);
    r.centerName = "センター" + std::to_string(i);
    r.method = "Z";
    r.methodName = "ファイル";
    rows.push_back(r);
  }
  return rows;
}

class WindowTest : public ::testing::Test {
 protected:
  void MakeWindow(std::vector<CenterRow> rows) {
    ws.colours.normal = 0;
    ws.colours.error = 255;
    ws.colours.processed = 0xFF0000;
    ws.colours.processing = 0x008000;
    ws.centers.Replace(std::move(rows));
    window = std::make_unique<TransferWindow>(ws, dialogs);
    window->setQuitAction([this] { ++quits; });
    ASSERT_TRUE(window->FillCenterGrid());
    window->show();
  }
  CenterGrid& grid() { return *window->grid(); }
  void Click(int line, int column) {
    QTest::mouseClick(grid().viewport(), Qt::LeftButton, Qt::NoModifier,
                      grid().visualItemRect(grid().item(line, column)).center());
  }
  QString Mark(int line) { return grid().item(line, kColMark)->text(); }

  Workstation ws;
  ScriptedDialogs dialogs;
  std::unique_ptr<TransferWindow> window;
  int quits = 0;
};

}  // namespace edi::screen::test
