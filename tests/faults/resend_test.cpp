// Sending a finished run's result again (`edi resend` and the engine it calls): from the
// result in EDIOUTFIL or its backup copy, by the center's current method, recorded as one
// more sending branch of the run's serial; refused with a readable line where there is
// nothing to send, and asking for --force before sending a result a second time.
#include <gtest/gtest.h>

#include <cstdlib>

#include "cii/translator.h"
#include "fault_bench.h"
#include "run/resend.h"

namespace edi::test {
namespace {

const std::string kResult = "00000001_SND_C1__________.CII";

int SuccessfulSends(RunBench& b, long long serial) {
  int n = 0;
  for (const auto& c : Codes(b, serial)) n += c == "20:0000/0000";
  return n;
}

// A plan looked up through the engine, as the history window does.
run::ResendPlan Plan(RunBench& b, std::int32_t serial) {
  RecordingListener l;
  cii::Translator translator(*b.ws.db, b.root / "ERR.LOG");
  const run::RunContext ctx{b.ws, l, translator};
  return run::PlanResend(ctx, serial);
}

TEST(Resend, SendsTheResultAgainFromTheOutputFolderThenFromTheBackup) {
  ConvertingBench cb;
  if (!cb.available()) GTEST_SKIP() << "the demo formats are not in the tree";
  RunBench& b = cb.bench;
  cb.AddConvertingCenter("C1");
  ASSERT_FALSE(b.Start());
  RecordingListener l;
  RunCenters(b, {"C1"}, l);
  ASSERT_EQ(OutcomeOf(b, "C1"), "OK|OK|OK|2");
  const std::string result = ReadBytes(b.out / kResult);
  ASSERT_FALSE(result.empty());

  // Already sent once: a plain resend asks for --force and sends nothing.
  std::filesystem::remove(b.send / "C1.CII");
  auto refused = RunEdi(b, "resend 1");
  EXPECT_EQ(refused.exitCode, 1) << refused.out;
  EXPECT_NE(refused.out.find("--force"), std::string::npos) << refused.out;
  EXPECT_FALSE(std::filesystem::exists(b.send / "C1.CII"));
  EXPECT_EQ(SuccessfulSends(b, 1), 1);

  auto forced = RunEdi(b, "resend 1 --force");
  EXPECT_EQ(forced.exitCode, 0) << forced.out;
  EXPECT_EQ(ReadBytes(b.send / "C1.CII"), result);
  EXPECT_EQ(SuccessfulSends(b, 1), 2);

  // The result in EDIOUTFIL is gone: the backup copy is sent, and the branch names it.
  std::filesystem::remove(b.out / kResult);
  std::filesystem::remove(b.send / "C1.CII");
  run::ResendPlan plan = Plan(b, 1);
  EXPECT_EQ(plan.refusal, "");
  EXPECT_EQ(plan.source, b.old / kResult);
  EXPECT_EQ(plan.method, "Z");
  EXPECT_EQ(plan.successfulSends, 2);
  EXPECT_EQ(RunEdi(b, "resend --force 1").exitCode, 0);
  EXPECT_EQ(ReadBytes(b.send / "C1.CII"), result);
  const auto rows = b.History();
  EXPECT_EQ(rows.back().Text("処理種別"), "20");
  EXPECT_EQ(rows.back().Text("ファイル名"), (b.old / kResult).string());
  EXPECT_EQ(rows.front().Text("終了コード"), "0000");  // the run's own row is left as it was
  ExpectEveryRowCompleted(rows);
  // Nothing was extracted or converted again.
  EXPECT_EQ(Codes(b, 1).size(), 6u);
  EXPECT_EQ(Plan(b, 1).successfulSends, 3);
}

TEST(Resend, RefusesWhatCannotBeSentWithAReadableLine) {
  ConvertingBench cb;
  if (!cb.available()) GTEST_SKIP() << "the demo formats are not in the tree";
  RunBench& b = cb.bench;
  cb.AddConvertingCenter("C1");
  cb.AddConvertingCenter("C2");
  b.AddCenter("C3", "Z", "C", (b.send / "C3.CII").string());  // no partner: no result
  b.ConfigurePackage({"RESULT@PC2=01"});  // C2's only partner fails its extraction
  ASSERT_FALSE(b.Start());
  RecordingListener l;
  RunCenters(b, {"C1", "C2", "C3"}, l);
  ASSERT_EQ(SerialOfCenter(b, "C2"), 2);

  auto none = RunEdi(b, "resend 99");
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_NE(none.out.find("通番 00000099 の実行はありません"), std::string::npos) << none.out;
  for (long long serial : {2, 3}) {
    auto noResult = RunEdi(b, "resend --force " + std::to_string(serial));
    EXPECT_EQ(noResult.exitCode, 1);
    EXPECT_NE(noResult.out.find("結果を作っていません"), std::string::npos) << noResult.out;
  }

  // The result is gone from both folders.
  std::filesystem::remove(b.out / kResult);
  std::filesystem::remove(b.old / kResult);
  auto gone = RunEdi(b, "resend --force 1");
  EXPECT_EQ(gone.exitCode, 1);
  EXPECT_NE(gone.out.find("結果ファイルが見つかりません"), std::string::npos) << gone.out;

  // A run that has not ended (still working, or killed) is not sent from under it.
  b.master().Execute("UPDATE FL1102処理履歴ファイル SET 処理終了日付 = NULL WHERE 通番 = 1 AND 枝番 = 0");
  EXPECT_NE(Plan(b, 1).refusal.find("終わっていません"), std::string::npos);

  EXPECT_EQ(RunEdi(b, "resend").exitCode, 2);
  EXPECT_EQ(RunEdi(b, "resend x1").exitCode, 2);
  // No refusal wrote a history row.
  EXPECT_EQ(Codes(b, 1).size(), 4u);
}

// A mail center's resend mails the result again, through the real SMTP server.
TEST(Resend, MailCenterGetsTheResultByMailAgain) {
  const char* smtp = std::getenv("EDI_TEST_SMTP_URL");
  const char* maildir = std::getenv("EDI_TEST_SMTP_MAILDIR");
  const char* user = std::getenv("EDI_TEST_MAIL_USER");
  const char* password = std::getenv("EDI_TEST_MAIL_PASSWORD");
  if (!smtp || !maildir || !user) GTEST_SKIP() << "no SMTP server (scripts/test starts one)";
  const std::string address = "resend-" + std::to_string(::getpid()) + "@example.test";
  BenchOptions o;
  o.extraIni = "\n[MAPI]\nProfileName=" + std::string(user) + "\nPassword=" + (password ? password : "") +
               "\n[MAIL]\nMAIL-TEXT=resend\nSMTP-URL=" + smtp + "\nFROM=edi@example.test\n";
  ConvertingBench cb(o);
  if (!cb.available()) GTEST_SKIP() << "the demo formats are not in the tree";
  RunBench& b = cb.bench;
  b.AddCenter("X1", "M", "C", std::nullopt, address);
  b.AddPartner("X1", "PX1");
  b.AddInfoCode("X1", "0101");
  ASSERT_FALSE(b.Start());
  RecordingListener l;
  RunCenters(b, {"X1"}, l);
  ASSERT_EQ(OutcomeOf(b, "X1"), "OK|OK|OK|2");
  auto arrived = [&] {
    int n = 0;
    for (const auto& [name, bytes] : Snapshot(std::filesystem::path(maildir) / "new"))
      n += bytes.find(address) != std::string::npos && bytes.find("00000001_SND_X1__________.CII") != std::string::npos;
    return n;
  };
  ASSERT_TRUE(WaitFor([&] { return arrived() == 1; }, 10));
  auto r = RunEdi(b, "resend 1 --force");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_TRUE(WaitFor([&] { return arrived() == 2; }, 10));
  EXPECT_EQ(SuccessfulSends(b, 1), 2);
}

}  // namespace
}  // namespace edi::test
