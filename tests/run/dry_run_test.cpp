// A dry run of the demo centers (package CII, package XML, mail): every file it makes
// equals the file a real run makes afterwards (the dry run names its files with the serial
// that the real run then takes), and the history, the output, backup, parameter and send
// folders, the database and the mailbox are as they were before it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>

#include "app/database.h"
#include "app/text.h"
#include "fault_bench.h"
#include "mail/mime_message.h"
#include "run/run_driver.h"

namespace edi::test {
namespace {

// Equal but for digits that differ in both (the creation date and time that each message group
// header carries).
bool SameButForClock(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && !(std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[i]))))
      return false;
  return true;
}

// What a dry run must leave alone: the history, the tables a run writes, and the run's folders.
struct Untouched {
  explicit Untouched(RunBench& b, const std::string& maildir) {
    for (const char* t : {"FL1102処理履歴ファイル", "EDIセンター実行ロック", "EDI送信待ちファイル", "EDI自動再送", "EDI運用記録"})
      rows += std::string(t) + ":" + b.master().Query(std::string("SELECT COUNT(*) AS n FROM ") + t).front().Text("n") + " ";
    for (const auto* folder : {&b.out, &b.old, &b.param, &b.status, &b.send, &b.in}) files.push_back(Snapshot(*folder));
    if (!maildir.empty()) mail = Snapshot(std::filesystem::path(maildir) / "new");
  }
  bool operator==(const Untouched&) const = default;
  std::string rows;
  std::vector<std::map<std::string, std::string>> files;
  std::map<std::string, std::string> mail;
};

TEST(DryRun, MakesTheFilesOfARealRunAndChangesNothing) {
  const char* smtp = std::getenv("EDI_TEST_SMTP_URL");
  const char* maildir = std::getenv("EDI_TEST_SMTP_MAILDIR");
  const char* user = std::getenv("EDI_TEST_MAIL_USER");
  const char* password = std::getenv("EDI_TEST_MAIL_PASSWORD");
  const bool withMail = smtp && maildir && user;
  const std::string address = "dryrun-" + std::to_string(::getpid()) + "@example.test";
  BenchOptions o;
  if (withMail)
    o.extraIni = "\n[MAPI]\nProfileName=" + std::string(user) + "\nPassword=" + (password ? password : "") +
                 "\n[MAIL]\nMAIL-TEXT=dry run\nSMTP-URL=" + smtp + "\nFROM=edi@example.test\n";
  // The demo centers, formats and in-house data, as scripts/demo sets them up.
  const std::filesystem::path demo = std::filesystem::path(EDI_SOURCE_DIR) / "db" / "demo";
  RunBench b(o);
  if (!LoadDemoFormats(b.master()) || !LoadDemoCenters(b)) GTEST_SKIP() << "the demo masters are not in the tree";
  std::ofstream(b.mgpkgConfig) << "DATA=" << (demo / "local").string() << "\nOUT=" << b.out.string() << "\n";
  std::vector<std::string> centers = {"CENTER01", "XMLCTR02"};
  if (withMail) {
    b.master().Execute("UPDATE FL1903EDI制御マスタ SET 相手先メールアドレス = :1 WHERE センターコード = 'MAILCT03'", {address});
    centers.push_back("MAILCT03");
  }
  // An earlier run, so that the serial is not simply 1.
  b.master().Execute("INSERT INTO FL1102処理履歴ファイル (通番, 枝番, 送受信種別, センターコード, 終了コード) VALUES (6, 0, 'S', 'EARLIER', '0000')");
  ASSERT_FALSE(b.Start());

  const Untouched before(b, withMail ? maildir : "");
  TempDir test;
  RecordingListener dryLines;
  {
    for (const auto& c : centers) b.ws.centers.SetMarked(RowOf(b.ws, c), true);
    run::RunDriver driver(b.ws, dryLines);
    driver.SetDryRun(test.path());
    driver.RunMarkedCenters(0);
    for (const auto& c : centers) {
      EXPECT_EQ(OutcomeOf(b, c), "OK|OK|OK|2") << c;
      EXPECT_EQ(driver.SerialOf(RowOf(b.ws, c)), 7) << c;
    }
  }
  EXPECT_TRUE(Untouched(b, withMail ? maildir : "") == before);
  ASSERT_FALSE(dryLines.log.empty());
  for (const auto& line : dryLines.log) EXPECT_EQ(line.rfind("[テスト] ", 0), 0u) << line;
  for (const auto& line : dryLines.mail.lines) EXPECT_EQ(line.rfind("[テスト] ", 0), 0u) << line;

  // The real run, on a fresh start of the workstation.
  ASSERT_FALSE(b.Start());
  RecordingListener realLines;
  RunCenters(b, centers, realLines);
  for (const auto& c : centers) ASSERT_EQ(OutcomeOf(b, c), "OK|OK|OK|2") << c;

  for (const auto& c : centers) {
    SCOPED_TRACE(c);
    const auto dry = test.path() / c;
    // The real runs took 7, 8, 9 in turn; every center's dry run named its files with 7.
    const std::string serial = SerialField(
        b.master().Query("SELECT 通番 FROM FL1102処理履歴ファイル WHERE 枝番 = 0 AND センターコード = :1", {c}).front().Int("通番"));
    auto renamed = [&](const std::map<std::string, std::string>& files) {
      std::map<std::string, std::string> out;
      for (const auto& [name, bytes] : files) out[serial + name.substr(8)] = bytes;
      return out;
    };
    // The in-house files and the conversion results, byte for byte but for the clock in the
    // message group headers, under the same names but for the serial.
    const auto dryOut = renamed(Snapshot(dry / "out"));
    std::map<std::string, std::string> realOut;
    for (const auto& [name, bytes] : Snapshot(b.out))
      if (name.rfind(serial, 0) == 0) realOut[name] = bytes;
    ASSERT_EQ(dryOut.size(), realOut.size());
    EXPECT_GE(dryOut.size(), 2u);
    for (const auto& [name, bytes] : realOut) {
      ASSERT_TRUE(dryOut.count(name)) << name;
      EXPECT_TRUE(SameButForClock(dryOut.at(name), bytes)) << name;
    }
    EXPECT_EQ(renamed(Snapshot(dry / "old")), dryOut);
    // The parameter file is the real one but for the serial and the status file's folder.
    std::string param = ReadBytes(dry / "param" / "EDI00000007.INI");
    for (auto [from, to] : {std::pair<std::string, std::string>{(dry / "status").string(), b.status.string()},
                            {"00000007", serial}})
      for (std::size_t p = 0; (p = param.find(from, p)) != std::string::npos; p += to.size()) param.replace(p, from.size(), to);
    EXPECT_EQ(param, ReadBytes(b.param / ("EDI" + serial + ".INI")));
  }
  // What would have been handed to the package is what was handed.
  EXPECT_TRUE(SameButForClock(ReadBytes(test.path() / "CENTER01" / "send" / "CENTER01.CII"), ReadBytes(b.send / "CENTER01.CII")));
  EXPECT_TRUE(SameButForClock(ReadBytes(test.path() / "XMLCTR02" / "send" / "XMLCTR02.XML"), ReadBytes(b.send / "XMLCTR02.XML")));
  EXPECT_NE(ReadBytes(b.send / "XMLCTR02.XML").find("<?xml"), std::string::npos);

  if (!withMail) GTEST_SKIP() << "no SMTP server (scripts/test starts one): the mail center was not run";
  const auto emls = Snapshot(test.path() / "MAILCT03" / "mail");
  ASSERT_EQ(emls.size(), 1u);
  EXPECT_EQ(emls.begin()->first, "00000007_SND_MAILCT03____.CII.eml");
  const std::string mailSerial = SerialField(
      b.master().Query("SELECT 通番 FROM FL1102処理履歴ファイル WHERE 枝番 = 0 AND センターコード = 'MAILCT03'").front().Int("通番"));
  std::string sent;
  ASSERT_TRUE(WaitFor(
      [&] {
        for (const auto& [name, bytes] : Snapshot(std::filesystem::path(maildir) / "new"))
          if (bytes.find(address) != std::string::npos) sent = bytes;
        return !sent.empty();
      },
      10));
  // The same message but for its date and identity: same parties, subject, text and attachment.
  const mail::IncomingMail dryMail = mail::ParseMessage(emls.begin()->second);
  const mail::IncomingMail realMail = mail::ParseMessage(sent);
  EXPECT_EQ(dryMail.recipients, realMail.recipients);
  EXPECT_EQ(dryMail.from, realMail.from);
  EXPECT_EQ(dryMail.text, realMail.text);
  EXPECT_EQ(mailSerial + dryMail.attachmentName.substr(8), realMail.attachmentName);
  EXPECT_TRUE(SameButForClock(dryMail.attachment, realMail.attachment));
  EXPECT_EQ(dryMail.attachment, ReadBytes(test.path() / "MAILCT03" / "out" / "00000007_SND_MAILCT03____.CII"));
}

// `edi run --dry-run`: every line it prints is marked as a test, and it leaves no history.
TEST(DryRun, TheCommandMarksEveryLineAndLeavesNoHistory) {
  ConvertingBench cb;
  if (!cb.available()) GTEST_SKIP() << "the demo formats are not in the tree";
  RunBench& b = cb.bench;
  cb.AddConvertingCenter("C1");
  b.AddCenter("BAD", "Z", "C", std::nullopt);  // blank send path: the dry run finds 6102 as a run would
  b.AddPartner("BAD", "PBAD");
  b.AddInfoCode("BAD", "0101");
  TempDir test;
  auto r = RunEdi(b, "run --terminal T1 --dry-run --test-dir '" + test.path().string() + "' C1 BAD");
  EXPECT_EQ(r.exitCode, 1) << r.out;
  std::istringstream lines(r.out);
  int count = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.empty()) continue;
    ++count;
    EXPECT_NE(line.find("[テスト]"), std::string::npos) << line;
  }
  EXPECT_GT(count, 6);
  EXPECT_NE(r.out.find("送信ｴﾗｰ"), std::string::npos) << r.out;
  EXPECT_TRUE(std::filesystem::exists(test.path() / "C1" / "send" / "C1.CII"));
  EXPECT_TRUE(b.History().empty());
  EXPECT_TRUE(Snapshot(b.out).empty());
  EXPECT_EQ(RunEdi(b, "run --terminal T1 --test-dir x C1").exitCode, 2);
}

}  // namespace
}  // namespace edi::test
