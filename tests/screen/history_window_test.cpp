// The history window over a seeded history, on SQLite and on PostgreSQL: today's runs at
// start, newest first in their state colours; each filter; a run's branches and log lines;
// lazy reading of a long list; refresh; start-up with the display settings.
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>

#include <fstream>
#include <tuple>

#include "app/text.h"
#include "run/history.h"
#include "history_fixture.h"
#include "screen/history_program.h"

namespace edi::screen::test {
namespace {

using V = std::vector<std::int32_t>;

const std::string kOld = "2020/01/06";

TEST_P(HistoryWindowTest, OpensOnTodaysRunsNewestFirstInTheirStateColours) {
  const std::string today = TodayYmd();
  AddRun(1, kOld, "C1", "0000");
  AddRun(2, today, "C1", "0000");
  AddRun(3, today, "C2", "5100");
  AddRun(4, today, "C1", "");
  OpenWindow();
  EXPECT_EQ(window->windowTitle(), QStringLiteral("処理履歴照会"));
  EXPECT_EQ(ListedSerials(), (V{4, 3, 2}));

  EXPECT_EQ(Cell(2, RunListModel::kSerial), QStringLiteral("00000002"));
  EXPECT_EQ(Cell(2, RunListModel::kCenterName), QStringLiteral("東センター"));
  EXPECT_EQ(Cell(2, RunListModel::kEndCode), QStringLiteral("0000"));
  EXPECT_EQ(Cell(1, RunListModel::kEndCode), QStringLiteral("5100"));
  EXPECT_EQ(Cell(0, RunListModel::kState), QStringLiteral("◆未終了"));
  EXPECT_EQ(Cell(0, RunListModel::kEndDate), QString());
  // Colours of section COLOR: 処理済 &HFF0000 (blue), エラー 255 (red), 処理中 &H008000 (green).
  auto colour = [&](int row) { return model().index(row, RunListModel::kCenterCode).data(Qt::ForegroundRole).value<QColor>(); };
  EXPECT_EQ(colour(2), QColor(0, 0, 255));
  EXPECT_EQ(colour(1), QColor(255, 0, 0));
  EXPECT_EQ(colour(0), QColor(0, 128, 0));
  EXPECT_NE(Cell(0, RunListModel::kState), Cell(1, RunListModel::kState));
}

TEST_P(HistoryWindowTest, EachFilterNarrowsTheListAndTheyCombine) {
  const std::string today = TodayYmd();
  AddRun(1, kOld, "C1", "5100");
  AddRun(2, kOld, "C2", "0000");
  AddRun(3, today, "C1", "0000");
  AddRun(4, today, "C2", "7200");
  AddRun(5, today, "C2", "");
  OpenWindow();
  EXPECT_EQ(ListedSerials(), (V{5, 4, 3}));

  window->periodCheck()->setChecked(false);  // every date
  EXPECT_EQ(ListedSerials(), (V{5, 4, 3, 2, 1}));
  window->centerBox()->setCurrentIndex(window->centerBox()->findData(QStringLiteral("C2")));
  EXPECT_EQ(ListedSerials(), (V{5, 4, 2}));
  window->failedCheck()->setChecked(true);
  EXPECT_EQ(ListedSerials(), (V{4}));
  window->centerBox()->setCurrentIndex(0);  // every center
  EXPECT_EQ(ListedSerials(), (V{4, 1}));
  window->failedCheck()->setChecked(false);
  window->openCheck()->setChecked(true);
  EXPECT_EQ(ListedSerials(), (V{5}));
  window->openCheck()->setChecked(false);

  window->periodCheck()->setChecked(true);
  const QDate old = QDate::fromString(QString::fromStdString(kOld), QStringLiteral("yyyy/MM/dd"));
  window->fromEdit()->setDate(old);
  window->toEdit()->setDate(old);
  EXPECT_EQ(ListedSerials(), (V{2, 1}));
  window->toEdit()->setDate(QDate::currentDate());
  EXPECT_EQ(ListedSerials(), (V{5, 4, 3, 2, 1}));
}

TEST_P(HistoryWindowTest, SelectingARunShowsItsBranchesAndItsLogLines) {
  const std::string today = TodayYmd();
  AddRun(7, today, "C1", "5100");
  AddRun(8, today, "C2", "0000");
  db().Execute("INSERT INTO 区分マスタ (区分, 区分ｺｰﾄﾞ, 区分名称) VALUES ('処理種別', '42', 'VAN抽出')");
  db().Execute(
      "INSERT INTO FL1102処理履歴ファイル (通番, 枝番, 処理種別, 処理開始日付, センターコード, 処理終了日付, 相手先企業コード,"
      " 取引情報区分, 入力レコード数, 出力レコード数, 終了コード, 詳細コード, ファイル名) VALUES (7, 1, '42', :1, 'C1', :1,"
      " 'MAKER1', '0101', 3, 3, '0000', '0000', 'in.LOC')",
      {today});
  db().Execute(
      "INSERT INTO FL1102処理履歴ファイル (通番, 枝番, 処理種別, 処理開始日付, センターコード, 処理終了日付, 終了コード,"
      " 詳細コード) VALUES (7, 2, '20', :1, 'C1', :1, '5100', '0002')",
      {today});
  edi::test::WriteAnsiText(bench->ws.errLogPath,
                           "0000--P114040 start--00000007  2026/12/08 09:00:00\n0026短い行\n"
                           "0000--P114040 start--00000008  2026/12/08 09:05:00\n0001\n");
  OpenWindow();
  EXPECT_FALSE(window->resendButton()->isEnabled());
  ASSERT_TRUE(window->SelectSerial(7));
  EXPECT_TRUE(window->resendButton()->isEnabled());

  QTableWidget& grid = *window->branchGrid();
  ASSERT_EQ(grid.rowCount(), 3);
  auto cell = [&](int r, int c) { return grid.item(r, c)->text().toStdString(); };
  EXPECT_EQ(cell(0, 2), "処理全体");
  EXPECT_EQ(cell(1, 1), "42");
  EXPECT_EQ(cell(1, 2), "VAN抽出");
  EXPECT_EQ(cell(1, 3), "MAKER1");
  EXPECT_EQ(cell(1, 6), "3");
  EXPECT_EQ(cell(1, 12), "in.LOC");
  EXPECT_EQ(cell(2, 2), "送信");
  EXPECT_EQ(cell(2, 10), "5100");
  EXPECT_EQ(cell(2, 11), "0002");
  ASSERT_TRUE(WaitForLog());
  EXPECT_EQ(window->logView()->toPlainText(),
            QStringLiteral("0000--P114040 start--00000007  2026/12/08 09:00:00\n0026短い行"));

  ASSERT_TRUE(window->SelectSerial(8));
  EXPECT_EQ(grid.rowCount(), 1);
  ASSERT_TRUE(WaitForLog());
  EXPECT_EQ(window->logView()->toPlainText(), QStringLiteral("0000--P114040 start--00000008  2026/12/08 09:05:00\n0001"));
}

TEST_P(HistoryWindowTest, ALongListIsReadPageByPageAndARefreshKeepsTheSelection) {
  const std::string today = TodayYmd();
  db().Begin();
  for (long long s = 1; s <= 450; ++s) AddRun(s, today, s % 2 ? "C1" : "C2", "0000");
  db().Commit();
  OpenWindow();
  EXPECT_EQ(model().rowCount(), run::kRunPageSize);
  EXPECT_TRUE(model().canFetchMore({}));
  // Scrolling to the end reads the next page.
  window->runList()->scrollToBottom();
  QCoreApplication::processEvents();
  EXPECT_GT(model().rowCount(), run::kRunPageSize);
  // Selecting an old run reads as far as needed.
  ASSERT_TRUE(window->SelectSerial(3));
  EXPECT_EQ(ListedSerials().back(), 1);
  const int read = model().rowCount();

  // Another workstation adds a run; the refresh shows it and keeps serial 3 selected.
  AddRun(451, today, "C1", "5100");
  QTest::mouseClick(window->refreshButton(), Qt::LeftButton);
  EXPECT_EQ(ListedSerials().front(), 451);
  EXPECT_EQ(model().rowCount(), read);  // as many as were read; the oldest one is a page away again
  EXPECT_TRUE(model().canFetchMore({}));
  EXPECT_EQ(window->selectedSerial(), 3);
  EXPECT_EQ(window->branchGrid()->rowCount(), 1);
}

TEST_P(HistoryWindowTest, RefreshesItselfWhileOpen) {
  OpenWindow();
  EXPECT_EQ(model().rowCount(), 0);
  window->setRefreshInterval(20);
  AddRun(1, TodayYmd(), "C1", "0000");
  EXPECT_TRUE(QTest::qWaitFor([&] { return model().rowCount() == 1; }, 5000));
}

TEST_P(HistoryWindowTest, ADatabaseFaultShowsInTheStatusLineAndTheNextRefreshRecovers) {
  AddRun(1, TodayYmd(), "C1", "0000");
  OpenWindow();
  ASSERT_TRUE(window->SelectSerial(1));
  bench->ws.db->SetFaultHook([](const std::string&) { throw DatabaseError("connection lost"); });
  window->Refresh();
  EXPECT_EQ(model().rowCount(), 0);
  EXPECT_EQ(window->branchGrid()->rowCount(), 0);
  EXPECT_TRUE(window->statusLabel()->text().contains(QStringLiteral("connection lost")));
  bench->ws.db->SetFaultHook(nullptr);
  window->Refresh();
  EXPECT_EQ(ListedSerials(), (V{1}));
  EXPECT_TRUE(window->statusLabel()->text().startsWith(QStringLiteral("1件 ")));
}

// The window's side of 再送信 with the engine's answers scripted: a refusal sends nothing, and
// a result that another workstation sent between the questions and the send asks once more.
TEST_P(HistoryWindowTest, ARefusedResendSendsNothingAndALateSecondSendAsksAgain) {
  AddRun(1, TodayYmd(), "C1", "5100");
  OpenWindow();
  std::vector<bool> sends;
  std::string refusal = "通番 00000001 の送信結果が見つかりません";
  window->setResendEngine(
      {[&](Workstation&, std::int32_t) { return ResendCheck{refusal, false, 0}; },
       [&](Workstation&, run::RunListener&, std::int32_t, bool force) {
         sends.push_back(force);
         return force ? ResendOutcome{"0000", "sent", false} : ResendOutcome{"9999", "already sent", true};
       }});
  ASSERT_TRUE(window->SelectSerial(1));
  QTest::mouseClick(window->resendButton(), Qt::LeftButton);
  EXPECT_EQ(dialogs.messages, (std::vector<std::string>{refusal}));
  EXPECT_TRUE(dialogs.questions.empty());
  EXPECT_TRUE(sends.empty());

  refusal.clear();
  dialogs.messages.clear();
  dialogs.answers = {true, true};
  QSignalSpy done(window.get(), &HistoryWindow::resendFinished);
  QTest::mouseClick(window->resendButton(), Qt::LeftButton);
  ASSERT_TRUE(done.wait(5000));
  EXPECT_EQ(sends, (std::vector<bool>{false, true}));
  EXPECT_EQ(dialogs.questions.size(), 2u);
  EXPECT_EQ(dialogs.messages, (std::vector<std::string>{"再送信しました（通番 00000001）"}));
  EXPECT_TRUE(window->resendButton()->isEnabled());
  EXPECT_TRUE(window->refreshButton()->isEnabled());
}

// A failed run that a later resend sent shows as resolved in its own colour and leaves
// "エラーのみ" unless 再送信済を含む is ticked; every code explains itself in a tooltip.
TEST_P(HistoryWindowTest, AResentFailureIsResolvedAndCodesExplainThemselves) {
  const std::string today = TodayYmd();
  AddRun(1, today, "C1", "5100");
  AddRun(2, today, "C2", "7200");
  for (auto [branch, time, code] : {std::tuple<long long, const char*, const char*>{1, "09:00:30", "5100"},
                                    {2, "09:30:00", "0000"}})
    db().Execute("INSERT INTO FL1102処理履歴ファイル (通番, 枝番, 処理種別, 処理開始日付, 処理開始時刻, センターコード,"
                 " 処理終了日付, 処理終了時刻, 終了コード, 詳細コード) VALUES (1, :1, '20', :2, :3, 'C1', :2, :3, :4, :5)",
                 {branch, today, std::string(time), std::string(code), std::string(code == std::string("5100") ? "0002" : "0000")});
  OpenWindow();
  ASSERT_EQ(ListedSerials(), (V{2, 1}));
  EXPECT_EQ(Cell(1, RunListModel::kState), QStringLiteral("再送信済"));
  EXPECT_EQ(Cell(0, RunListModel::kState), QStringLiteral("エラー"));
  EXPECT_EQ(Cell(1, RunListModel::kSends), QStringLiteral("2"));
  EXPECT_EQ(Cell(1, RunListModel::kSendsOk), QStringLiteral("1"));
  const QColor resolved = model().index(1, RunListModel::kCenterCode).data(Qt::ForegroundRole).value<QColor>();
  EXPECT_EQ(resolved, RunListModel::ResolvedColour());
  EXPECT_NE(resolved, QColor(255, 0, 0));
  EXPECT_TRUE(model().index(1, RunListModel::kEndCode).data(Qt::ToolTipRole).toString().contains(QStringLiteral("送信の失敗")));

  EXPECT_FALSE(window->resolvedCheck()->isEnabled());
  window->failedCheck()->setChecked(true);
  EXPECT_EQ(ListedSerials(), (V{2}));
  EXPECT_TRUE(window->resolvedCheck()->isEnabled());
  window->resolvedCheck()->setChecked(true);
  EXPECT_EQ(ListedSerials(), (V{2, 1}));

  ASSERT_TRUE(window->SelectSerial(1));
  QTableWidget& grid = *window->branchGrid();
  ASSERT_EQ(grid.rowCount(), 3);
  EXPECT_TRUE(grid.item(1, 11)->toolTip().contains(QStringLiteral("通信パッケージの送信パスに渡せません")))
      << grid.item(1, 11)->toolTip().toStdString();
}

// 実行を閉じる closes a run left open, after a question, as `edi history close` does.
TEST_P(HistoryWindowTest, ARunLeftOpenIsClosedByHand) {
  const std::string today = TodayYmd();
  AddRun(3, today, "C1", "0000");
  AddRun(4, today, "C1", "");
  OpenWindow();
  ASSERT_TRUE(window->SelectSerial(3));
  EXPECT_FALSE(window->closeButton()->isEnabled());
  ASSERT_TRUE(window->SelectSerial(4));
  EXPECT_TRUE(window->closeButton()->isEnabled());
  window->CloseSelected();  // answered No: nothing changes
  EXPECT_EQ(run::FindOpenRuns(db()).size(), 1u);
  dialogs.answers = {true};
  window->CloseSelected();
  EXPECT_TRUE(run::FindOpenRuns(db()).empty());
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_NE(dialogs.messages[0].find("中断として閉じました"), std::string::npos) << dialogs.messages[0];
  EXPECT_EQ(Cell(model().rowOfSerial(4), RunListModel::kEndCode), QStringLiteral("9900"));
  EXPECT_FALSE(window->closeButton()->isEnabled());
  ASSERT_TRUE(WaitForLog());
  EXPECT_TRUE(window->logView()->toPlainText().contains(QStringLiteral("9900--P740150 fault--00000004")));
}

// The log pane on a hostile log: a run whose lines end in megabytes of NUL bytes, a failed
// send's reason filed under its serial, a log that grows while the window is open. The
// window fits a 1024×768 screen.
TEST_P(HistoryWindowTest, TheLogPaneShowsAFaultReasonAndStaysBoundedOnAHostileLog) {
  const std::string today = TodayYmd();
  AddRun(5, today, "C1", "4100");
  AddRun(6, today, "C1", "5100");
  {
    std::ofstream log(bench->ws.errLogPath, std::ios::binary);
    log << "0000--P114040 start--00000005  2026/12/08 09:00:00\r\n0001\r\n" << std::string(8u << 20, '\0') << "\r\n";
    log << "5100--P740150 fault--00000006  2026/12/08 09:01:00 \x91\x97\x90\x4d /send/C1.CII: Permission denied\r\n";
  }
  OpenWindow();
  ASSERT_TRUE(window->SelectSerial(5));
  ASSERT_TRUE(WaitForLog());
  const QString five = window->logView()->toPlainText();
  EXPECT_LT(five.size(), 2000);
  EXPECT_TRUE(five.contains(QStringLiteral("…(%1 バイト)").arg(8u << 20))) << five.left(200).toStdString();
  ASSERT_TRUE(window->SelectSerial(6));
  ASSERT_TRUE(WaitForLog());
  EXPECT_EQ(window->logView()->toPlainText(),
            QStringLiteral("5100--P740150 fault--00000006  2026/12/08 09:01:00 送信 /send/C1.CII: Permission denied"));
  // Lines appended later are found by the next selection.
  std::ofstream(bench->ws.errLogPath, std::ios::binary | std::ios::app) << "0000--P114040 start--00000006  x\r\n";
  window->Refresh();
  ASSERT_TRUE(WaitForLog());
  EXPECT_TRUE(window->logView()->toPlainText().endsWith(QStringLiteral("start--00000006  x")));

  EXPECT_LE(window->frameGeometry().width(), 1024);
  EXPECT_LE(window->frameGeometry().height(), 768);
  EXPECT_LE(window->minimumSizeHint().width(), 1024);
}

INSTANTIATE_TEST_SUITE_P(Backends, HistoryWindowTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Postgres" : "Sqlite"; });

// edi-history's start-up: EDI.ini by EDI_INI's rule, styled by section Setting0 with the
// main window's code, the colours of section COLOR.
TEST(HistoryProgramStart, StylesTheWindowFromSetting0AndShowsIt) {
  edi::test::RunBench bench;
  ScriptedHistoryDialogs dialogs;
  HistoryProgram program(dialogs);
  StartOptions options;
  options.iniPath = bench.ini.string();
  ASSERT_TRUE(program.Start(options)) << (dialogs.messages.empty() ? "" : dialogs.messages.front());
  HistoryWindow& w = program.window();
  EXPECT_TRUE(w.isVisible());
  EXPECT_EQ(program.workstation().colours.error, 255u);
  // tit_ labels take TitleBackColor &H800000 (navy), lbl_ labels LabelBackColor (white).
  auto* title = w.findChild<QLabel*>(QStringLiteral("tit_RUN"));
  ASSERT_TRUE(title);
  EXPECT_EQ(title->palette().color(QPalette::Window), QColor(0, 0, 128));
  EXPECT_TRUE(title->font().bold());
  auto* status = w.findChild<QLabel*>(QStringLiteral("lbl_STATUS"));
  ASSERT_TRUE(status);
  EXPECT_EQ(status->palette().color(QPalette::Window), QColor(255, 255, 255));
  EXPECT_EQ(w.palette().color(QPalette::Window), QColor(0xC0, 0xC0, 0xC0));

  // No database at the end of the EDI.ini: the workstation's own message.
  edi::test::TempDir dir;
  edi::test::WriteAnsiText(dir / "EDI.ini", "[動作環境]\nDBENGINE=POSTGRESQL\nDBCONNECT=host=127.0.0.1 port=1\n");
  HistoryProgram failing(dialogs);
  options.iniPath = (dir / "EDI.ini").string();
  EXPECT_FALSE(failing.Start(options));
  EXPECT_EQ(dialogs.messages.back(), "接続エラー");
}

}  // namespace
}  // namespace edi::screen::test
