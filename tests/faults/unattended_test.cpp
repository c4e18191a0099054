// Runs left to a scheduler: one run or send per center at a time across processes (the center
// lock), a result waiting at the send path not replaced, the bounded retry of failed sends,
// the alert mail, resend that sends once, and the exit codes a scheduler reads.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <set>
#include <thread>

#include "app/unattended_settings.h"
#include "cii/translator.h"
#include "fault_bench.h"
#include "mail/mime_message.h"
#include "run/alert.h"
#include "run/backup.h"
#include "run/center_lock.h"
#include "run/resend.h"

extern char** environ;

namespace edi::test {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// Replaces text in the bench's EDI.ini (ASCII keys and values).
void EditIni(RunBench& b, const std::string& from, const std::string& to) {
  std::string text = ReadBytes(b.ini);
  const auto at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  text.replace(at, from.size(), to);
  WriteBytes(b.ini, text);
}

void AppendIni(RunBench& b, const std::string& text) {
  std::string all = ReadBytes(b.ini);
  for (char c : text) all += c == '\n' ? std::string("\r\n") : std::string(1, c);
  WriteBytes(b.ini, all);
}

// An `edi` process started in the background; its output goes to `out`.
pid_t SpawnEdi(RunBench& b, const std::string& args, const std::filesystem::path& out,
               const std::string& envPrefix = "") {
  const std::string cmd = envPrefix + " exec '" + std::string(EDI_CLI_PATH) + "' --ini '" + b.ini.string() + "' " +
                          args + " > '" + out.string() + "' 2>&1";
  const char* argv[] = {"/bin/sh", "-c", cmd.c_str(), nullptr};
  pid_t pid = 0;
  posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ);
  return pid;
}

int ExitCodeOf(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

int CountCodes(RunBench& b, long long serial, const std::string& code) {
  int n = 0;
  for (const auto& c : Codes(b, serial)) n += c == code;
  return n;
}

// A minimal SMTP server on loopback that takes one message at a time and then, as told,
// answers, closes the connection without an answer, or waits before answering.
class FakeSmtp {
 public:
  enum class After { Close, Stall };
  explicit FakeSmtp(After after) : after_(after) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    listen(fd_, 8);
    thread_ = std::thread([this] { Serve(); });
  }
  ~FakeSmtp() {
    stop_ = true;
    shutdown(fd_, SHUT_RDWR);
    close(fd_);
    thread_.join();
  }
  std::string url() const { return "smtp://127.0.0.1:" + std::to_string(port_); }
  int messages() const { return messages_.load(); }

 private:
  void Serve() {
    while (!stop_) {
      const int c = accept(fd_, nullptr, nullptr);
      if (c < 0) return;
      Talk(c);
      close(c);
    }
  }
  static bool ReadLine(int c, std::string& line) {
    line.clear();
    char ch;
    while (read(c, &ch, 1) == 1) {
      line += ch;
      if (ch == '\n') return true;
    }
    return false;
  }
  static void Say(int c, const std::string& text) { (void)!write(c, text.data(), text.size()); }
  void Talk(int c) {
    Say(c, "220 fake ESMTP\r\n");
    std::string line;
    while (ReadLine(c, line)) {
      if (line.rfind("EHLO", 0) == 0) Say(c, "250 fake\r\n");
      else if (line.rfind("DATA", 0) == 0) {
        Say(c, "354 go on\r\n");
        while (ReadLine(c, line) && line != ".\r\n") {
        }
        ++messages_;
        if (after_ == After::Close) return;
        for (int i = 0; i < 100 && !stop_; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        Say(c, "250 taken\r\n");
      } else if (line.rfind("QUIT", 0) == 0) {
        Say(c, "221 bye\r\n");
        return;
      } else {
        Say(c, "250 ok\r\n");
      }
    }
  }
  After after_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> messages_{0};
  std::thread thread_;
};

// The mail sections for a mail center; no sign-on unless a user is given.
std::string MailIni(const std::string& smtpUrl, const std::string& user = "", const std::string& password = "") {
  return "\n[MAPI]\nProfileName=" + user + "\nPassword=" + password + "\n[MAIL]\nMAIL-TEXT=result\nSMTP-URL=" +
         smtpUrl + "\nFROM=edi@example.com\n";
}

// The alert mails that reached the test SMTP server for `address`, as parsed messages.
std::vector<mail::IncomingMail> AlertsTo(const std::string& address) {
  std::vector<mail::IncomingMail> found;
  const std::filesystem::path box = std::filesystem::path(Env("EDI_TEST_SMTP_MAILDIR")) / "new";
  if (!std::filesystem::exists(box)) return found;
  for (const auto& entry : std::filesystem::directory_iterator(box)) {
    const std::string raw = ReadBytes(entry.path());
    if (raw.find("X-RcptTo: " + address) != std::string::npos) found.push_back(mail::ParseMessage(raw));
  }
  return found;
}

std::string UniqueAddress(const std::string& tag) {
  return tag + "-" + std::to_string(getpid()) + "-" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "@example.com";
}

class Unattended : public ::testing::TestWithParam<bool> {
 protected:
  BenchOptions Options() {
    BenchOptions o;
    o.postgres = GetParam();
    return o;
  }
};

#define SKIP_UNLESS_READY(cb)                                                                   \
  if (!(cb).bench.available()) GTEST_SKIP() << "no PostgreSQL server (scripts/test starts one)"; \
  if (!(cb).available()) GTEST_SKIP() << "the demo formats are not in the tree"

TEST_P(Unattended, CenterLockIsTakenOnceAndTakenOverOnlyFromAGoneHolder) {
  RunBench b(Options());
  if (!b.available()) GTEST_SKIP() << "no PostgreSQL server";
  Database& db = b.master();
  run::CenterLock mine(db, run::ThisProcess("T1"), 3600);
  run::CenterLock other(db, run::ThisProcess("T2"), 3600);
  ASSERT_TRUE(mine.Claim("C1", "run").taken);
  const run::LockClaim refused = other.Claim("C1", "resend 00000001");
  EXPECT_FALSE(refused.taken);
  ASSERT_TRUE(refused.heldBy);
  EXPECT_EQ(refused.heldBy->terminal, "T1");
  EXPECT_NE(refused.HolderText().find("T1"), std::string::npos);
  EXPECT_TRUE(other.Claim("C2", "run").taken);  // another center is free
  mine.Release();
  EXPECT_TRUE(other.Claim("C1", "run").taken);
  other.Release();

  // A holder on this host whose process is gone, and one on another host silent for too long.
  const run::LockHolder me = run::ThisProcess("T1");
  db.Execute("INSERT INTO EDIセンター実行ロック (センターコード, 保持識別, 端末名, ホスト識別, プロセス識別, 用件, 開始日時, 更新秒)"
             " VALUES ('C3', 'dead', 'T7', :1, '999999999:1', 'run', '2026/01/01 00:00:00', :2)",
             {me.host, static_cast<long long>(std::time(nullptr))});
  const run::LockClaim fromDead = mine.Claim("C3", "run");
  EXPECT_TRUE(fromDead.taken);
  ASSERT_TRUE(fromDead.tookOverFrom);
  EXPECT_EQ(fromDead.tookOverFrom->terminal, "T7");
  mine.Release();
  for (long long age : {60LL, 7200LL}) {
    db.Execute("DELETE FROM EDIセンター実行ロック");
    db.Execute("INSERT INTO EDIセンター実行ロック (センターコード, 保持識別, 端末名, ホスト識別, プロセス識別, 用件, 開始日時, 更新秒)"
               " VALUES ('C4', 'far', 'T8', 'elsewhere/boot', '1:1', 'run', '2026/01/01 00:00:00', :1)",
               {static_cast<long long>(std::time(nullptr)) - age});
    EXPECT_EQ(mine.Claim("C4", "run").taken, age > 3600) << age;
    mine.Release();
  }
}

TEST_P(Unattended, SimultaneousRunsRunEachCenterOnceAndSendNothingTwice) {
  ConvertingBench cb(Options());
  SKIP_UNLESS_READY(cb);
  RunBench& b = cb.bench;
  const std::vector<std::string> centers = {"C1", "C2", "C3"};
  for (const auto& c : centers) cb.AddConvertingCenter(c);
  std::vector<pid_t> pids;
  for (int i = 0; i < 4; ++i)
    pids.push_back(SpawnEdi(b, "run --all --terminal T1", b.root / ("run" + std::to_string(i) + ".out"),
                            "MGPKG_DELAY_MS=1500"));
  std::multiset<int> exits;
  std::string outs;
  for (std::size_t i = 0; i < pids.size(); ++i) {
    exits.insert(ExitCodeOf(pids[i]));
    outs += ReadBytes(b.root / ("run" + std::to_string(i) + ".out"));
  }
  EXPECT_GT(exits.count(3), 0u) << outs;  // some process found a center held
  EXPECT_NE(outs.find("実行しません: 端末 T1 (run) が "), std::string::npos) << outs;

  // Runs of one center never overlap: each starts after the one before it ended. Only the
  // first run of a center hands its result over; any later one finds it waiting there.
  const auto rows = b.History();
  ExpectEveryRowCompleted(rows);
  std::map<std::string, std::vector<const Row*>> runsOf;
  std::set<long long> serials;
  for (const auto& r : rows)
    if (r.Int("枝番") == 0) {
      runsOf[r.Text("センターコード")].push_back(&r);
      EXPECT_TRUE(serials.insert(r.Int("通番")).second);
    }
  for (const auto& c : centers) {
    SCOPED_TRACE(c);
    ASSERT_FALSE(runsOf[c].empty());
    int sends = 0;
    for (std::size_t i = 0; i < runsOf[c].size(); ++i) {
      const Row& r = *runsOf[c][i];
      sends += CountCodes(b, r.Int("通番"), "20:0000/0000");
      if (i > 0) {
        const Row& before = *runsOf[c][i - 1];
        EXPECT_GE(r.Text("処理開始日付") + r.Text("処理開始時刻"), before.Text("処理終了日付") + before.Text("処理終了時刻"));
      }
    }
    EXPECT_EQ(sends, 1);
    EXPECT_EQ(ReadBytes(b.send / (c + ".CII")), ReadBytes(b.out / ResultName(runsOf[c][0]->Int("通番"), c)));
  }
  EXPECT_TRUE(b.master().Query("SELECT * FROM EDIセンター実行ロック").empty());
}

TEST_P(Unattended, ARunKilledWhileHoldingACenterIsTakenOverByTheNext) {
  ConvertingBench cb(StoppedPackageOptions(GetParam()));
  SKIP_UNLESS_READY(cb);
  RunBench& b = cb.bench;
  AddTwoConvertingCenters(cb, true);
  const pid_t pid = SpawnEdi(b, "run --terminal T1 C1", b.root / "killed.out");
  ASSERT_TRUE(WaitFor([&] { return ReadBytes(b.mgpkgLog).find("MAKER='PC1'") != std::string::npos; }));
  ASSERT_FALSE(b.master().Query("SELECT * FROM EDIセンター実行ロック WHERE センターコード = 'C1'").empty());
  kill(pid, SIGKILL);
  ExitCodeOf(pid);
  for (pid_t p : ProcessesWith(b.param.string())) kill(p, SIGKILL);
  ASSERT_TRUE(PackageGone(b));

  b.ConfigurePackage();
  const auto next = RunEdi(b, "run --terminal T1 C1");
  EXPECT_EQ(next.exitCode, 0) << next.out;
  EXPECT_NE(next.out.find("ロックを引き継ぎました (端末 T1"), std::string::npos) << next.out;
}

TEST_P(Unattended, ResendSendsOnceAndRefusesWhileTheCenterIsHeld) {
  ConvertingBench cb(Options());
  SKIP_UNLESS_READY(cb);
  RunBench& b = cb.bench;
  // The send path's folder is missing: the run's own hand-off fails.
  b.AddCenter("C1", "Z", "C", (b.root / "later" / "C1.CII").string());
  b.AddPartner("C1", "PC1");
  b.AddInfoCode("C1", "0101");
  EXPECT_EQ(RunEdi(b, "run --terminal T1 C1").exitCode, 1);
  ASSERT_EQ(Codes(b, 1).back(), "20:5100/0002");
  std::filesystem::create_directories(b.root / "later");

  // Held by someone else: refused with and without --force, nothing recorded.
  {
    run::CenterLock holder(b.master(), run::ThisProcess("T9"), 3600);
    ASSERT_TRUE(holder.Claim("C1", "run").taken);
    for (const char* args : {"resend 1", "resend 1 --force"}) {
      const auto refused = RunEdi(b, args);
      EXPECT_EQ(refused.exitCode, 3) << refused.out;
      EXPECT_NE(refused.out.find("端末 T9"), std::string::npos) << refused.out;
    }
    EXPECT_EQ(Codes(b, 1).size(), 4u);
  }

  // Eight resends at once: one send.
  std::vector<pid_t> pids;
  for (int i = 0; i < 8; ++i) pids.push_back(SpawnEdi(b, "resend 1", b.root / ("resend" + std::to_string(i) + ".out")));
  int ok = 0;
  for (pid_t p : pids) ok += ExitCodeOf(p) == 0;
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(CountCodes(b, 1, "20:0000/0000"), 1);
  EXPECT_EQ(ReadBytes(b.root / "later" / "C1.CII"), ReadBytes(b.out / ResultName(1, "C1")));
}

TEST_P(Unattended, AResultThatIsNotWholeIsNotResent) {
  ConvertingBench cb(Options());
  SKIP_UNLESS_READY(cb);
  RunBench& b = cb.bench;
  cb.AddConvertingCenter("C1");
  ASSERT_EQ(RunEdi(b, "run --terminal T1 C1").exitCode, 0);
  const std::string whole = ReadBytes(b.out / ResultName(1, "C1"));
  std::filesystem::remove(b.send / "C1.CII");
  WriteBytes(b.out / ResultName(1, "C1"), whole.substr(0, whole.size() / 7));
  const auto cut = RunEdi(b, "resend 1 --force");
  EXPECT_EQ(cut.exitCode, 1) << cut.out;
  EXPECT_NE(cut.out.find("完全ではありません"), std::string::npos) << cut.out;
  EXPECT_FALSE(std::filesystem::exists(b.send / "C1.CII"));
  EXPECT_EQ(Codes(b, 1).size(), 4u);
  WriteBytes(b.out / ResultName(1, "C1"), whole);
  EXPECT_EQ(RunEdi(b, "resend 1 --force").exitCode, 0);
}

TEST(UnattendedBackup, TheSerialFieldIsMatchedWhole) {
  TempDir dir;
  PathSettings paths;
  paths.outFolder = (dir / "out").string() + "/";
  paths.oldFolder = (dir / "old").string() + "/";
  std::filesystem::create_directories(dir / "out");
  std::filesystem::create_directories(dir / "old");
  WriteBytes(dir / "out" / "10000000_SND_C1__________.CII", "short serial");
  WriteBytes(dir / "out" / "100000001_SND_C1__________.CII", "new");
  WriteBytes(dir / "old" / "100000001_SND_C1__________.CII", "kept copy");
  EXPECT_TRUE(run::BackupRunFiles(paths, 10000000, 1).empty());
  EXPECT_EQ(ReadBytes(dir / "old" / "10000000_SND_C1__________.CII"), "short serial");
  EXPECT_EQ(ReadBytes(dir / "old" / "100000001_SND_C1__________.CII"), "kept copy");
}

TEST_P(Unattended, AWaitingResultIsNotReplacedAndTheRetryHandsTheNextOneOffOnceCollected) {
  ConvertingBench cb(Options());
  SKIP_UNLESS_READY(cb);
  RunBench& b = cb.bench;
  cb.AddConvertingCenter("C1");
  AppendIni(b, "\n[RETRY]\nENABLED=1\nINTERVALMIN=0\n");
  ASSERT_EQ(RunEdi(b, "run --terminal T1 C1").exitCode, 0);
  const std::string first = ReadBytes(b.send / "C1.CII");
  const auto second = RunEdi(b, "run --terminal T1 C1");
  EXPECT_EQ(second.exitCode, 1) << second.out;
  EXPECT_NE(second.out.find("未回収の前回の結果があるため渡しません: " + (b.send / "C1.CII").string()), std::string::npos)
      << second.out;
  EXPECT_EQ(Codes(b, 2).back(), "20:5100/0004");
  EXPECT_EQ(ReadBytes(b.send / "C1.CII"), first);

  // Still waiting: the retry makes no try and counts none.
  auto retry = RunEdi(b, "retry");
  EXPECT_EQ(retry.exitCode, 0) << retry.out;
  EXPECT_EQ(Codes(b, 2).size(), 4u);
  // The package collects the first result: the retry hands the second one off.
  std::filesystem::remove(b.send / "C1.CII");
  retry = RunEdi(b, "retry");
  EXPECT_EQ(retry.exitCode, 0) << retry.out;
  EXPECT_EQ(Codes(b, 2).back(), "20:0000/0000");
  EXPECT_EQ(ReadBytes(b.send / "C1.CII"), ReadBytes(b.out / ResultName(2, "C1")));
  EXPECT_EQ(b.master().Query("SELECT 試行回数 FROM EDI自動再送 WHERE 通番 = 2").front().Int("試行回数"), 1);

  // A site whose package leaves sent files in place overwrites.
  EditIni(b, "[PATH]\r\n", "[PATH]\r\nSENDKEEP=1\r\n");
  EXPECT_EQ(RunEdi(b, "run --terminal T1 C1").exitCode, 0);
  EXPECT_EQ(ReadBytes(b.send / "C1.CII"), ReadBytes(b.out / ResultName(3, "C1")));
}

TEST_P(Unattended, RetryStopsAfterItsLimitAndNeverTouchesSentOrOlderFailures) {
  ConvertingBench cb(Options());
  SKIP_UNLESS_READY(cb);
  RunBench& b = cb.bench;
  const std::string address = UniqueAddress("alert-limit");
  for (const char* c : {"C0", "C1", "C2"}) {
    b.AddCenter(c, "Z", "C", (b.root / "later" / (std::string(c) + ".CII")).string());
    b.AddPartner(c, std::string("P") + c);
    b.AddInfoCode(c, "0101");
  }
  // C0 fails before retry is switched on.
  EXPECT_EQ(RunEdi(b, "run --terminal T1 C0").exitCode, 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  AppendIni(b, "\n[RETRY]\nENABLED=1\nMAXTRIES=2\nINTERVALMIN=0\n[ALERT]\nTO=" + address + "\n" +
                   MailIni(Env("EDI_TEST_SMTP_URL"), Env("EDI_TEST_MAIL_USER"), Env("EDI_TEST_MAIL_PASSWORD")));
  EXPECT_EQ(RunEdi(b, "run --terminal T1 C1 C2").exitCode, 1);  // serials 2 (C1) and 3 (C2)
  // C2 is sent by a person.
  std::filesystem::create_directories(b.root / "later");
  EXPECT_EQ(RunEdi(b, "resend 3").exitCode, 0);
  std::filesystem::remove_all(b.root / "later");

  for (int pass = 0; pass < 4; ++pass) RunEdi(b, "retry");
  EXPECT_EQ(Codes(b, 1).size(), 4u);  // older than the switch-on: never retried
  EXPECT_EQ(CountCodes(b, 2, "20:5100/0002"), 3);  // the run's own send and two tries
  EXPECT_EQ(Codes(b, 3).size(), 5u);  // the person's resend only
  const auto state = b.master().Query("SELECT 試行回数, 状態 FROM EDI自動再送 WHERE 通番 = 2");
  ASSERT_EQ(state.size(), 1u);
  EXPECT_EQ(state.front().Int("試行回数"), 2);
  EXPECT_EQ(state.front().Text("状態"), "F");
  if (!Env("EDI_TEST_SMTP_MAILDIR").empty()) {
    ASSERT_TRUE(WaitFor([&] { return AlertsTo(address).size() >= 1; }, 10));
    const auto alerts = AlertsTo(address);
    ASSERT_EQ(alerts.size(), 1u);  // the final failure of serial 2 only
    EXPECT_NE(alerts[0].text.find("通番: 00000002"), std::string::npos) << alerts[0].text;
    EXPECT_NE(alerts[0].text.find("edi resend 2"), std::string::npos) << alerts[0].text;
  }
}

TEST_P(Unattended, AFailedMailSendIsRetriedAndAnUnknownOutcomeIsLeftForAPerson) {
  ConvertingBench cb(Options());
  SKIP_UNLESS_READY(cb);
  if (Env("EDI_TEST_SMTP_URL").empty()) GTEST_SKIP() << "no test mail server (scripts/test starts one)";
  RunBench& b = cb.bench;
  const std::string partner = UniqueAddress("partner");
  b.AddCenter("M1", "M", "C", std::nullopt, partner);
  b.AddPartner("M1", "PM1");
  b.AddInfoCode("M1", "0101");
  FakeSmtp dropping(FakeSmtp::After::Close);
  // The first run cannot reach a server; the second's server takes the message and hangs up.
  AppendIni(b, "\n[RETRY]\nENABLED=1\nMAXTRIES=2\nINTERVALMIN=0\n" + MailIni("smtp://127.0.0.1:1"));
  EXPECT_EQ(RunEdi(b, "run --terminal T1 M1").exitCode, 1);
  EXPECT_EQ(Codes(b, 1).back(), "20:5100/9999");
  EditIni(b, "SMTP-URL=smtp://127.0.0.1:1", "SMTP-URL=" + dropping.url());
  EXPECT_EQ(RunEdi(b, "run --terminal T1 M1").exitCode, 1);
  EXPECT_EQ(Codes(b, 2).back(), "20:5100/9998");
  EXPECT_EQ(dropping.messages(), 1);

  // The real server: serial 1 is sent by the retry, serial 2 is not tried.
  EditIni(b, "ProfileName=\r\nPassword=", "ProfileName=" + Env("EDI_TEST_MAIL_USER") + "\r\nPassword=" +
                                              Env("EDI_TEST_MAIL_PASSWORD"));
  EditIni(b, "SMTP-URL=" + dropping.url(), "SMTP-URL=" + Env("EDI_TEST_SMTP_URL"));
  const auto retry = RunEdi(b, "retry");
  EXPECT_EQ(retry.exitCode, 1) << retry.out;  // an unknown outcome was reported
  EXPECT_NE(retry.out.find("結果が分からないため自動では再送しません"), std::string::npos) << retry.out;
  EXPECT_EQ(Codes(b, 1).back(), "20:0000/0000");
  EXPECT_EQ(Codes(b, 2).size(), 4u);
  ASSERT_TRUE(WaitFor([&] { return AlertsTo(partner).size() == 1; }, 10));
  RunEdi(b, "retry");
  EXPECT_EQ(AlertsTo(partner).size(), 1u);
  EXPECT_EQ(Codes(b, 2).size(), 4u);
}

TEST_P(Unattended, AStoppedResendClosesItsBranchAndOpenBranchesAreListed) {
  ConvertingBench cb(Options());
  SKIP_UNLESS_READY(cb);
  RunBench& b = cb.bench;
  b.AddCenter("M1", "M", "C", std::nullopt, std::string("partner@example.com"));
  b.AddPartner("M1", "PM1");
  b.AddInfoCode("M1", "0101");
  FakeSmtp stalling(FakeSmtp::After::Stall);
  AppendIni(b, MailIni("smtp://127.0.0.1:1"));
  EXPECT_EQ(RunEdi(b, "run --terminal T1 M1").exitCode, 1);
  EditIni(b, "SMTP-URL=smtp://127.0.0.1:1", "SMTP-URL=" + stalling.url());
  const pid_t pid = SpawnEdi(b, "resend 1", b.root / "stopped.out");
  ASSERT_TRUE(WaitFor([&] { return stalling.messages() == 1; }, 20));
  kill(pid, SIGTERM);
  EXPECT_EQ(ExitCodeOf(pid), 1) << ReadBytes(b.root / "stopped.out");
  EXPECT_EQ(Codes(b, 1).back(), "20:9900/0015");

  // A send branch left open (its process killed): `edi history --open` lists the run.
  EXPECT_EQ(RunEdi(b, "history --open").out.find("00000001"), std::string::npos);
  b.master().Execute("UPDATE FL1102処理履歴ファイル SET 処理終了日付 = NULL WHERE 通番 = 1 AND 枝番 = 4");
  EXPECT_NE(RunEdi(b, "history --open").out.find("00000001"), std::string::npos);
}

TEST_P(Unattended, AlertsAreCappedPerHourAndTheRestGoOutAsOneSummary) {
  ConvertingBench cb(Options());
  SKIP_UNLESS_READY(cb);
  if (Env("EDI_TEST_SMTP_URL").empty()) GTEST_SKIP() << "no test mail server (scripts/test starts one)";
  RunBench& b = cb.bench;
  const std::string address = UniqueAddress("alert-cap");
  // Centers without a partner: the extraction fails at once, with no retry to follow.
  for (const char* c : {"E1", "E2", "E3"}) b.AddCenter(c, "Z", "C", (b.send / c).string());
  AppendIni(b, "\n[ALERT]\nTO=" + address + "\nSUBJECT=[EDI]\nMAXPERHOUR=2\n" +
                   MailIni(Env("EDI_TEST_SMTP_URL"), Env("EDI_TEST_MAIL_USER"), Env("EDI_TEST_MAIL_PASSWORD")));
  const auto run = RunEdi(b, "run --terminal T1 --all");
  EXPECT_EQ(run.exitCode, 1) << run.out;
  EXPECT_NE(run.out.find("まとめて後で送ります"), std::string::npos) << run.out;
  ASSERT_TRUE(WaitFor([&] { return AlertsTo(address).size() == 2; }, 10));
  const auto alerts = AlertsTo(address);
  for (const auto& m : alerts) {
    EXPECT_EQ(m.subject.rfind("[EDI] EDI送信失敗 E", 0), 0u) << m.subject;
    EXPECT_NE(m.text.find("失敗した処理: データ抽出"), std::string::npos) << m.text;
    EXPECT_NE(m.text.find("終了コード: 7300"), std::string::npos) << m.text;
    EXPECT_NE(m.text.find("edi resend "), std::string::npos) << m.text;
  }
  // The hour is over: the next run or retry sends the kept alert as one summary.
  b.master().Execute("UPDATE EDI警報 SET 時間帯 = '2000/01/01 00'");
  RecordingListener l;
  ASSERT_FALSE(b.Start());
  cii::Translator translator(*b.ws.db, b.root / "ERR.LOG");
  const run::RunContext ctx{b.ws, l, translator};
  const UnattendedSettings settings = ReadUnattendedSettings(b.ws.ini());
  run::SendAlertSummaries(ctx, settings.alert);
  run::SendAlertSummaries(ctx, settings.alert);
  ASSERT_TRUE(WaitFor([&] { return AlertsTo(address).size() == 3; }, 10));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  int summaries = 0;
  for (const auto& m : AlertsTo(address)) summaries += m.subject.find("まとめ") != std::string::npos;
  EXPECT_EQ(summaries, 1);

  // `edi alert --test`, and a mail server that is down: the run's outcome is unchanged.
  EXPECT_EQ(RunEdi(b, "alert --test").exitCode, 0);
  EditIni(b, "SMTP-URL=" + Env("EDI_TEST_SMTP_URL"), "SMTP-URL=smtp://127.0.0.1:1");
  b.master().Execute("DELETE FROM EDI警報");
  const auto down = RunEdi(b, "run --terminal T1 E1");
  EXPECT_EQ(down.exitCode, 1) << down.out;
  EXPECT_NE(down.out.find("警報メールを送れません"), std::string::npos) << down.out;
  EXPECT_EQ(RunEdi(b, "alert --test").exitCode, 1);
}

TEST(UnattendedSettings, ANumberThatIsNotOneStopsTheStart) {
  RunBench b;
  b.AddCenter("C1");
  for (const std::string& section : {std::string("\n[RETRY]\nMAXTRIES=three\n"), std::string("\n[ALERT]\nMAXPERHOUR=-1\n")}) {
    SCOPED_TRACE(section);
    const std::string saved = ReadBytes(b.ini);
    AppendIni(b, section);
    for (const char* command : {"run --all --terminal T1", "retry"}) {
      const auto refused = RunEdi(b, command);
      EXPECT_EQ(refused.exitCode, 2) << refused.out;
      EXPECT_EQ(refused.out.rfind("INIﾌｧｲﾙ読込エラー\nedi: ", 0), 0u) << refused.out;
      EXPECT_NE(refused.out.find(section.find("MAXTRIES") != std::string::npos ? "RETRY MAXTRIES" : "ALERT MAXPERHOUR"),
                std::string::npos)
          << refused.out;
    }
    WriteBytes(b.ini, saved);
  }
  EXPECT_TRUE(b.master().Query("SELECT * FROM FL1102処理履歴ファイル").empty());
}

INSTANTIATE_TEST_SUITE_P(Databases, Unattended, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "PostgreSQL" : "SQLite"; });

}  // namespace
}  // namespace edi::test

namespace edi::test {
namespace {

// Four workstations with 25 centers each on one PostgreSQL database, retry switched on and one
// partner's send path missing: every center runs once, nothing is sent twice, the failing run
// gets exactly its tries and one alert. The figures go to the test's output.
TEST(UnattendedLoad, FourWorkstationsWithRetryAndOneFailingPartner) {
  BenchOptions options;
  options.postgres = true;
  ConvertingBench cb(options);
  SKIP_UNLESS_READY(cb);
  if (Env("EDI_TEST_SMTP_URL").empty()) GTEST_SKIP() << "no test mail server (scripts/test starts one)";
  RunBench& b = cb.bench;
  const std::string address = UniqueAddress("load-alert");
  const std::vector<std::string> terminals = {"T1", "T2", "T3", "T4"};
  for (const auto& t : terminals)
    for (int i = 0; i < 25; ++i) {
      const std::string c = t + "C" + std::to_string(i);
      if (c == "T1C0") {
        b.AddCenter(c, "Z", "C", (b.root / "gone" / "T1C0.CII").string(), std::nullopt, t);
        b.AddPartner(c, "P" + c);
        b.AddInfoCode(c, "0101");
      } else {
        cb.AddConvertingCenter(c, t);
      }
    }
  AppendIni(b, "\n[RETRY]\nENABLED=1\nMAXTRIES=2\nINTERVALMIN=0\n[ALERT]\nTO=" + address + "\n" +
                   MailIni(Env("EDI_TEST_SMTP_URL"), Env("EDI_TEST_MAIL_USER"), Env("EDI_TEST_MAIL_PASSWORD")));

  const auto start = std::chrono::steady_clock::now();
  std::vector<pid_t> pids;
  for (const auto& t : terminals)
    pids.push_back(SpawnEdi(b, "run --all --terminal " + t, b.root / (t + ".out")));
  std::map<std::string, int> exits;
  for (std::size_t i = 0; i < pids.size(); ++i) exits[terminals[i]] = ExitCodeOf(pids[i]);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  for (int pass = 0; pass < 3; ++pass) RunEdi(b, "retry");

  EXPECT_EQ(exits["T1"], 1) << ReadBytes(b.root / "T1.out");
  for (const char* t : {"T2", "T3", "T4"}) EXPECT_EQ(exits[t], 0) << ReadBytes(b.root / (std::string(t) + ".out"));
  const auto rows = b.History();
  ExpectEveryRowCompleted(rows);
  std::map<std::string, int> runs, sends;
  int failedTries = 0;
  for (const auto& r : rows) {
    if (r.Int("枝番") == 0) ++runs[r.Text("センターコード")];
    if (r.Text("処理種別") == "20" && r.Text("終了コード") == "0000") ++sends[r.Text("センターコード")];
    if (r.Text("処理種別") == "20" && r.Text("センターコード") == "T1C0") ++failedTries;
  }
  EXPECT_EQ(runs.size(), 100u);
  for (const auto& [center, n] : runs) EXPECT_EQ(n, 1) << center;
  EXPECT_EQ(sends.size(), 99u);
  for (const auto& [center, n] : sends) EXPECT_EQ(n, 1) << center;
  EXPECT_EQ(failedTries, 3);  // the run's own send and two retries
  ASSERT_TRUE(WaitFor([&] { return AlertsTo(address).size() >= 1; }, 10));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(AlertsTo(address).size(), 1u);
  std::cout << "4 workstations x 25 centers, retry on, one failing partner: " << seconds << " s for the four runs; "
            << runs.size() << " runs, " << sends.size() << " centers sent once each, failing run: " << failedTries
            << " sends (1 + " << failedTries - 1 << " retries), " << AlertsTo(address).size() << " alert mail\n";
}

}  // namespace
}  // namespace edi::test
