// What a transfer run promises the operator, under the faults a site meets: every file that
// others collect is whole, no link is written through, no failure hides behind a later
// success, the package's exit code does not overrule its status file, one name stands for
// one file, a reused serial never mixes runs, and a stopped or killed `edi run` leaves no
// package running and no run silently open.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include "fault_bench.h"
#include "run/history.h"

namespace edi::test {
namespace {

const std::string kDone = "OK|OK|OK|2";

// Names in the folder that are no regular file of a run: temporary files left behind.
std::vector<std::string> Leftovers(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    if (e.path().filename().string().find(".tmp-") != std::string::npos) names.push_back(e.path().filename());
  return names;
}

// An `edi run` process of its own, its output in a file.
// With `ignoreHangup`, it starts with SIGHUP ignored, as under nohup.
pid_t StartEdiRun(RunBench& b, const std::vector<std::string>& centers, const std::filesystem::path& output,
                  bool ignoreHangup = false) {
  std::vector<std::string> args = {EDI_CLI_PATH, "--ini", b.ini.string(), "run", "--terminal", "T1"};
  args.insert(args.end(), centers.begin(), centers.end());
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 1);
    dup2(fd, 2);
    if (ignoreHangup) signal(SIGHUP, SIG_IGN);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

// The exit status of the process, once it ended (up to `seconds`); nullopt when it did not.
std::optional<int> WaitExit(pid_t pid, int seconds) {
  int status = 0;
  const bool ended = WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, seconds);
  if (!ended) return std::nullopt;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A package command whose package starts a child of its own (the stand-in package) and
// waits for it: stopping only the first process would leave the child running.
BenchOptions TwoProcessPackage() {
  BenchOptions o = StoppedPackageOptions();
  // A plain command line: the script itself is the process the run waits for.
  o.packageCommand = "MGPKG_CONFIG={root}/mgpkg.ini REAL=" + std::string(EDI_MGPKG_PATH) + " /bin/sh {root}/pkg.sh";
  return o;
}
// With `deaf`, the package and its child ignore SIGTERM, SIGINT and SIGHUP.
void WritePackageScript(RunBench& b, bool deaf) {
  WriteBytes(b.root / "pkg.sh", std::string(deaf ? "trap '' TERM INT HUP\n" : "") + "\"$REAL\" \"$@\" &\nwait\n");
}

// A full disk at the send path and in the backup folder. The earlier file that the
// package had not yet collected stays whole; no cut copy and no temporary file is left; once
// there is space again the result goes out with `edi resend`, without a new extraction.
TEST(TransferSafety, FullDiskLeavesEveryCollectedFileWhole) {
  ConvertingBench cb;
  if (!cb.available()) GTEST_SKIP() << "the demo formats are not in the tree";
  RunBench& b = cb.bench;
  TmpfsMount send(b.send, "64k"), old(b.old, "64k");
  if (!send.mounted() || !old.mounted()) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
  cb.AddConvertingCenter("C1");
  WriteBytes(b.send / "C1.CII", "an earlier complete file, not yet collected");
  WriteBytes(b.old / "00000042_SND_OTHER_______.CII", "an earlier backup");
  FillDisk(b.send / "filler");
  FillDisk(b.old / "filler");
  ASSERT_FALSE(b.Start());
  RecordingListener l;
  RunCenters(b, {"C1"}, l);

  EXPECT_EQ(OutcomeOf(b, "C1"), "OK|OK|送信ｴﾗｰ|9");
  EXPECT_EQ(Codes(b, 1).back(), "20:5100/0002");
  EXPECT_TRUE(LogHas(l, "C1: 送信ファイルを渡せません"));
  EXPECT_EQ(ReadBytes(b.send / "C1.CII"), "an earlier complete file, not yet collected");
  EXPECT_TRUE(LogHas(l, "C1: バックアップに失敗しました"));
  EXPECT_EQ(ReadBytes(b.old / "00000042_SND_OTHER_______.CII"), "an earlier backup");
  for (const auto& [name, bytes] : Snapshot(b.old)) EXPECT_NE(name.rfind("00000001", 0), 0u) << "cut copy " << name;
  EXPECT_TRUE(Leftovers(b.send).empty());
  EXPECT_TRUE(Leftovers(b.old).empty());
  ExpectEveryRowCompleted(b.History());

  std::filesystem::remove(b.send / "filler");
  auto r = RunEdi(b, "resend 1");  // never sent successfully: no --force needed
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(ReadBytes(b.send / "C1.CII"), ReadBytes(b.out / ResultName(1, "C1")));
}

// Links at the names the run writes fail their step with its write-failure code and
// a log line naming the link; what the links point to is not touched.
TEST(TransferSafety, NoLinkIsWrittenThrough) {
  ConvertingBench cb;
  if (!cb.available()) GTEST_SKIP() << "the demo formats are not in the tree";
  RunBench& b = cb.bench;
  for (const char* c : {"C1", "C2", "C3", "C4"}) cb.AddConvertingCenter(c);
  const auto victim = b.root / "victim";
  WriteBytes(victim, "not the run's file");
  // C1: its send path is a link. C2: the parameter file of its serial is a link.
  std::filesystem::create_symlink(victim, b.send / "C1.CII");
  std::filesystem::create_symlink(victim, b.param / "EDI00000002.INI");
  ASSERT_FALSE(b.Start());
  // C3: a link appears at its result name, C4: at its backup name, while the run works.
  HookListener l;
  l.onLog = [&](const std::string& line) {
    if (line == "C3 変換: 変換中") std::filesystem::create_symlink(victim, b.out / ResultName(3, "C3"));
    if (line == "C4 送信: 送信中") std::filesystem::create_symlink(victim, b.old / ResultName(4, "C4"));
  };
  RunCenters(b, {"C1", "C2", "C3", "C4"}, l);

  EXPECT_EQ(OutcomeOf(b, "C1"), "OK|OK|送信ｴﾗｰ|9");
  EXPECT_EQ(Codes(b, 1).back(), "20:5100/0002");
  EXPECT_TRUE(LogHas(l, (b.send / "C1.CII").string() + ": シンボリックリンク"));
  EXPECT_EQ(OutcomeOf(b, "C2"), "抽出ｴﾗｰ|||9");
  EXPECT_EQ(Codes(b, 2), (std::vector<std::string>{"04:4100/ ", "42:4100/0001"}));
  EXPECT_TRUE(LogHas(l, (b.param / "EDI00000002.INI").string() + ": シンボリックリンク"));
  EXPECT_EQ(OutcomeOf(b, "C3"), "OK|変換ｴﾗｰ||9");
  EXPECT_EQ(Codes(b, 3)[2], "32:0024/0024");
  EXPECT_TRUE(LogHas(l, "シンボリックリンクのため書きません: " + (b.out / ResultName(3, "C3")).string()));
  EXPECT_EQ(OutcomeOf(b, "C4"), kDone);
  EXPECT_TRUE(LogHas(l, (b.old / ResultName(4, "C4")).string() + ": シンボリックリンク"));
  EXPECT_EQ(ReadBytes(victim), "not the run's file");
  for (const auto& link : {b.send / "C1.CII", b.param / "EDI00000002.INI", b.out / ResultName(3, "C3"),
                           b.old / ResultName(4, "C4")})
    EXPECT_TRUE(std::filesystem::is_symlink(link)) << link;
  ExpectEveryRowCompleted(b.History());
}

// A status file that the package left as a link is not read: no status, "4100"/"0002".
TEST(TransferSafety, StatusFileLinkIsNotRead) {
  BenchOptions o;
  o.packageCommand = "ln -s '{root}/victim' '{root}/status/00000001_Z_OUT_STATUS.TXT' #";
  RunBench b(o);
  // A line that would report success, were the link read.
  WriteBytes(b.root / "victim", "00101PARTNER     000001000001" "00\r\n1\r\n");
  b.AddCenter("C1");
  b.AddPartner("C1", "P1");
  ASSERT_FALSE(b.Start());
  RecordingListener l;
  RunCenters(b, {"C1"}, l);
  EXPECT_EQ(Codes(b, 1), (std::vector<std::string>{"04:4100/ ", "42:4100/0002"}));
  EXPECT_TRUE(LogHas(l, "ステータスファイルがシンボリックリンクのため読みません"));
}

// A partner whose extraction failed and a file whose conversion failed are not
// hidden by the partner and file that succeeded: what succeeded is converted and sent, but
// the run ends in error with the first failure's code and `edi run` exits 1.
TEST(TransferSafety, NoFailureIsHiddenByALaterSuccess) {
  ConvertingBench cb;
  if (!cb.available()) GTEST_SKIP() << "the demo formats are not in the tree";
  RunBench& b = cb.bench;
  cb.AddConvertingCenter("C1");
  b.AddPartner("C1", "PB1", 1);  // after PC1 (order 0), succeeds
  b.ConfigurePackage({"RESULT@PC1=01"});
  cb.AddConvertingCenter("C2");
  b.AddInfoCode("C2", "0000", -1);  // listed first, its data is no record of any format
  b.WriteData("0000", "not a record of any format\r\n");
  auto r = RunEdi(b, "run --terminal T1 C1 C2");
  EXPECT_EQ(r.exitCode, 1) << r.out;
  EXPECT_NE(r.out.find("C1 データ抽出: 一部ｴﾗｰ"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("C2 変換: 一部ｴﾗｰ"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("C1 送信: OK"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("C2 送信: OK"), std::string::npos) << r.out;
  const auto c1 = Codes(b, 1), c2 = Codes(b, 2);
  EXPECT_EQ(c1, (std::vector<std::string>{"04:9999/ ", "42:9999/0000", "42:0000/0000", "32:0000/0000",
                                          "20:0000/0000"}));
  ASSERT_EQ(c2.size(), 5u);
  EXPECT_EQ(c2[0], "04:7200/ ");
  EXPECT_NE(c2[2], "32:0000/0000");
  EXPECT_EQ(c2[3], "32:0000/0000");
  // What was sent holds the messages of the file that converted.
  EXPECT_EQ(ReadBytes(b.send / "C2.CII"), ReadBytes(b.out / ResultName(2, "C2")));
  EXPECT_FALSE(ReadBytes(b.send / "C2.CII").empty());
}

// The package's exit code does not overrule its status file; 126/127 mean "could
// not be started" only when it left none.
TEST(TransferSafety, ExitCodeCountsOnlyWithoutAStatusFile) {
  ConvertingBench cb;
  if (!cb.available()) GTEST_SKIP() << "the demo formats are not in the tree";
  RunBench& b = cb.bench;
  for (const char* c : {"C1", "C2", "C3", "C4"}) cb.AddConvertingCenter(c);
  b.ConfigurePackage({"EXIT@PC1=127", "STATUS@PC2=skip", "EXIT@PC2=127", "STATUS@PC3=skip", "EXIT@PC4=3",
                      "RESULT@PC4=01"});
  ASSERT_FALSE(b.Start());
  RecordingListener l;
  RunCenters(b, {"C1", "C2", "C3", "C4"}, l);
  EXPECT_EQ(OutcomeOf(b, "C1"), kDone);
  EXPECT_EQ(Codes(b, 2), (std::vector<std::string>{"04:4100/ ", "42:4100/0001"}));
  EXPECT_EQ(Codes(b, 3), (std::vector<std::string>{"04:4100/ ", "42:4100/0002"}));
  EXPECT_EQ(Codes(b, 4), (std::vector<std::string>{"04:9999/ ", "42:9999/0000"}));
}

// A center code holding a space names its files one way in every step, so that the
// converted file is the one sent; a result that is gone before a mail send is no "OK".
TEST(TransferSafety, OneNameForOneFile) {
  ConvertingBench cb;
  if (!cb.available()) GTEST_SKIP() << "the demo formats are not in the tree";
  RunBench& b = cb.bench;
  cb.AddConvertingCenter("C 1");
  b.AddCenter("M1", "M", "C", std::nullopt, std::string("partner@example.test"));
  b.AddPartner("M1", "PM1");
  b.AddInfoCode("M1", "0101");
  ASSERT_FALSE(b.Start());
  HookListener l;
  l.onLog = [&](const std::string& line) {
    if (line == "M1 送信: 送信中") std::filesystem::remove(b.out / ResultName(2, "M1"));
  };
  RunCenters(b, {"C 1", "M1"}, l);
  EXPECT_EQ(OutcomeOf(b, "C 1"), kDone);
  EXPECT_TRUE(std::filesystem::exists(b.out / "00000001_SND_C_1_________0101.LOC"));
  EXPECT_EQ(ReadBytes(b.send / "C 1.CII"), ReadBytes(b.out / "00000001_SND_C_1_________.CII"));
  EXPECT_EQ(OutcomeOf(b, "M1"), "OK|OK|送信ｴﾗｰ|9");
  EXPECT_EQ(Codes(b, 2).back(), "20:5100/9999");
}

// The history lost its newest rows (restored from an older copy). The next run
// takes a serial that no file carries: the earlier run's files and backup stay as they were
// and its messages are not sent again.
TEST(TransferSafety, AReusedSerialNeverMixesRuns) {
  ConvertingBench cb;
  if (!cb.available()) GTEST_SKIP() << "the demo formats are not in the tree";
  RunBench& b = cb.bench;
  cb.AddConvertingCenter("C1");
  ASSERT_FALSE(b.Start());
  RecordingListener first;
  RunCenters(b, {"C1"}, first);
  ASSERT_EQ(OutcomeOf(b, "C1"), kDone);
  const auto out = Snapshot(b.out), old = Snapshot(b.old);
  b.master().Execute("DELETE FROM FL1102処理履歴ファイル");
  std::filesystem::remove(b.send / "C1.CII");  // the package collected it

  ASSERT_FALSE(b.Start());
  RecordingListener second;
  RunCenters(b, {"C1"}, second);
  EXPECT_EQ(OutcomeOf(b, "C1"), kDone);
  EXPECT_EQ(SerialOfCenter(b, "C1"), 2);
  EXPECT_TRUE(LogHas(second, "C1: 通番 00000002 (既存ファイルのある通番 1 件を飛ばしました)"));
  for (const auto& [name, bytes] : out) EXPECT_EQ(ReadBytes(b.out / name), bytes) << name;
  for (const auto& [name, bytes] : old) EXPECT_EQ(ReadBytes(b.old / name), bytes) << name;
  // The new run's result holds its own messages only, and that is what was sent.
  EXPECT_EQ(ReadBytes(b.out / ResultName(2, "C1")).size(), out.at(ResultName(1, "C1")).size());
  EXPECT_EQ(ReadBytes(b.send / "C1.CII"), ReadBytes(b.out / ResultName(2, "C1")));
}

// SIGTERM to `edi run` while the package works stops the package's whole process
// group, closes the open rows with the stop code and ends the process within seconds; no
// further center is started. A package deaf to the signal is killed after a short grace.
TEST(TransferSafety, SigtermStopsTheRunAndThePackage) {
  for (auto [sig, deaf] : {std::pair{SIGTERM, false}, {SIGINT, false}, {SIGHUP, false}, {SIGTERM, true}}) {
    SCOPED_TRACE(std::string(strsignal(sig)) + (deaf ? ", package ignores it" : ""));
    RunBench b(TwoProcessPackage());
    WritePackageScript(b, deaf);
    b.AddCenter("C1");
    b.AddCenter("C2");
    b.AddPartner("C1", "P1");
    b.AddPartner("C2", "P2");
    b.ConfigurePackage({"HANG=1"});
    const pid_t edi = StartEdiRun(b, {"C1", "C2"}, b.root / "run.out");
    ASSERT_TRUE(WaitFor([&] { return ProcessesWith(b.param.string()).size() >= 2; })) << ReadBytes(b.root / "run.out");
    const auto sent = std::chrono::steady_clock::now();
    kill(edi, sig);
    const auto code = WaitExit(edi, 20);
    ASSERT_TRUE(code.has_value());
    // How long the stop took (a figure for the report, not a limit of the test).
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sent);
    RecordProperty(std::string("stopMs_") + std::to_string(sig) + (deaf ? "_deaf" : ""), static_cast<int>(took.count()));
    EXPECT_EQ(*code, 1) << ReadBytes(b.root / "run.out");
    EXPECT_TRUE(PackageGone(b));
    char detail[8];
    std::snprintf(detail, sizeof detail, "%04d", sig);
    EXPECT_EQ(Codes(b, 1), (std::vector<std::string>{"04:9900/" + std::string(detail), "42:9900/" + std::string(detail)}));
    EXPECT_EQ(SerialOfCenter(b, "C2"), 0);  // not started
    ExpectEveryRowCompleted(b.History());
  }
}

// A run started under nohup keeps SIGHUP ignored: only another signal stops it.
TEST(TransferSafety, IgnoredHangupKeepsTheRunGoing) {
  RunBench b(StoppedPackageOptions());
  b.AddCenter("C1");
  b.AddPartner("C1", "P1");
  b.ConfigurePackage({"HANG=1"});
  const pid_t edi = StartEdiRun(b, {"C1"}, b.root / "run.out", /*ignoreHangup=*/true);
  ASSERT_TRUE(WaitFor([&] { return !ProcessesWith(b.param.string()).empty(); }));
  kill(edi, SIGHUP);
  EXPECT_FALSE(WaitExit(edi, 1).has_value());  // still running
  EXPECT_FALSE(ProcessesWith(b.param.string()).empty());
  kill(edi, SIGTERM);
  EXPECT_EQ(WaitExit(edi, 20), 1);
  EXPECT_EQ(Codes(b, 1), (std::vector<std::string>{"04:9900/0015", "42:9900/0015"}));
}

// After SIGKILL the run's rows stay open; the next `edi run` warns about them and takes
// nothing over from them.
TEST(TransferSafety, KilledRunIsReportedOpenAtTheNextStart) {
  RunBench b(StoppedPackageOptions());
  b.AddCenter("C1");
  b.AddCenter("C2");
  b.AddPartner("C1", "P1");
  b.AddPartner("C2", "P2");
  b.ConfigurePackage({"HANG=1"});
  const pid_t edi = StartEdiRun(b, {"C1"}, b.root / "run.out");
  ASSERT_TRUE(WaitFor([&] { return !ProcessesWith(b.param.string()).empty(); }));
  kill(edi, SIGKILL);
  ASSERT_TRUE(WaitExit(edi, 10).has_value());
  for (pid_t pid : ProcessesWith(b.param.string())) kill(pid, SIGKILL);  // what the kill left
  ASSERT_TRUE(PackageGone(b));

  auto open = run::FindOpenRuns(b.master());
  ASSERT_EQ(open.size(), 1u);
  EXPECT_EQ(open[0].serial, 1);
  EXPECT_EQ(open[0].centerCode, "C1");
  b.ConfigurePackage();
  auto r = RunEdi(b, "run --terminal T1 C2");
  EXPECT_NE(r.out.find("終了していない実行があります: 通番 00000001 センター C1"), std::string::npos) << r.out;
  EXPECT_EQ(SerialOfCenter(b, "C2"), 2);
  EXPECT_EQ(run::FindOpenRuns(b.master()).size(), 1u);  // still open: nothing was taken over
}

}  // namespace
}  // namespace edi::test
