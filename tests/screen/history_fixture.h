// What the history window tests share: scripted boxes with queued answers, and a workspace
// (database, EDI.ini, ERR.LOG) whose history the test seeds.
#pragma once

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "run_bench.h"
#include "screen/history_dialogs.h"
#include "screen/history_window.h"
#include "screen/run_list_model.h"

namespace edi::screen::test {

class ScriptedHistoryDialogs : public HistoryDialogs {
 public:
  void ShowMessage(QWidget*, const QString& text) override { messages.push_back(text.toStdString()); }
  bool AskQuit(QWidget*, const QString& text) override {
    questions.push_back(text.toStdString());
    return false;
  }
  bool AskYesNo(QWidget*, const QString& text) override {
    questions.push_back(text.toStdString());
    if (answers.empty()) return false;
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
  }
  std::vector<std::string> messages, questions;
  std::deque<bool> answers;  // No when none is left
};

class HistoryWindowTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    edi::test::BenchOptions options;
    options.postgres = GetParam();
    bench = std::make_unique<edi::test::RunBench>(options);
    if (!bench->available()) GTEST_SKIP() << "no PostgreSQL server (scripts/test starts one)";
    bench->AddCenter("C1");
    bench->AddCenter("C2");
    bench->master().Execute("UPDATE FL1903EDI制御マスタ SET センター名 = '東センター' WHERE センターコード = 'C1'");
    ASSERT_FALSE(bench->Start());
  }
  void TearDown() override { window.reset(); }

  Database& db() { return bench->master(); }
  // A run (branch 0); an empty end code leaves it open.
  void AddRun(long long serial, const std::string& date, const std::string& center, const std::string& endCode) {
    const bool open = endCode.empty();
    db().Execute(
        "INSERT INTO FL1102処理履歴ファイル (通番, 枝番, 送受信種別, 相手先種別, 処理種別, 処理開始日付, 処理開始時刻,"
        " センターコード, 処理終了日付, 処理終了時刻, 終了コード) VALUES (:1, 0, 'S', '2', '04', :2, '09:00:00', :3, :4,"
        " :5, :6)",
        {serial, date, center, open ? Param(nullptr) : Param(date),
         open ? Param(nullptr) : Param(std::string("09:01:00")), open ? Param(nullptr) : Param(endCode)});
  }
  void OpenWindow() {
    window = std::make_unique<HistoryWindow>(bench->ws, dialogs);
    window->show();
    ASSERT_TRUE(window->LoadHistory()) << window->statusLabel()->text().toStdString();
  }
  RunListModel& model() { return *window->runModel(); }
  std::vector<std::int32_t> ListedSerials() {
    std::vector<std::int32_t> out;
    for (int r = 0; r < model().rowCount(); ++r) out.push_back(model().runAt(r).serial);
    return out;
  }
  QString Cell(int row, int column) { return model().index(row, column).data().toString(); }
  // The log pane is read on a thread of its own: waits (up to 10 s) until it shows the selection.
  bool WaitForLog() {
    for (int i = 0; i < 1000 && window->logPending(); ++i) QTest::qWait(10);
    return !window->logPending();
  }

  std::unique_ptr<edi::test::RunBench> bench;
  ScriptedHistoryDialogs dialogs;
  std::unique_ptr<HistoryWindow> window;
};

}  // namespace edi::screen::test
