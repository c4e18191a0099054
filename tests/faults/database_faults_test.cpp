// The database server stopped in the middle of a run: a PostgreSQL server of the test's own
// (scripts/services/postgres) is stopped while the package of the first center works. The
// run goes on without the database: it reports its codes, the next center cannot open a
// serial, nothing stops the program, and the rows it had started stay visibly open. Once the
// server is back, the next pass completes its runs and the open rows are still there.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <regex>

#include "fault_bench.h"

namespace edi::test {
namespace {

std::string Shell(const std::string& command, int* status = nullptr) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    int rc = pclose(p);
    if (status) *status = rc;
  } else if (status) {
    *status = -1;
  }
  return out;
}

// A PostgreSQL server of this test, which the test stops and starts again. While it lives,
// EDI_TEST_PG_CONNECT names it (the bench makes its database there).
class OwnServer {
 public:
  OwnServer() {
    script_ = std::string(EDI_SOURCE_DIR) + "/scripts/services/postgres";
    int status = 0;
    const std::string out = Shell("'" + script_ + "' start '" + (dir_ / "pg").string() + "' 2>&1", &status);
    std::smatch m;
    if (status != 0 || !std::regex_search(out, m, std::regex("EDI_TEST_PG_CONNECT='([^']*)'"))) {
      failure_ = out;
      return;
    }
    connect_ = m[1];
    std::regex_search(connect_, m, std::regex("port=([0-9]+)"));
    port_ = m[1];
    if (const char* old = std::getenv("EDI_TEST_PG_CONNECT")) previous_ = old;
    setenv("EDI_TEST_PG_CONNECT", connect_.c_str(), 1);
  }
  ~OwnServer() {
    Stop();
    if (previous_) setenv("EDI_TEST_PG_CONNECT", previous_->c_str(), 1);
    else unsetenv("EDI_TEST_PG_CONNECT");
  }
  bool running() const { return !connect_.empty(); }
  const std::string& failure() const { return failure_; }

  void Stop() {
    if (!connect_.empty()) Shell("'" + script_ + "' stop '" + (dir_ / "pg").string() + "' 2>&1");
  }
  // The same data folder, port and socket folder as before.
  bool Restart() {
    const std::string pg = (dir_ / "pg").string();
    std::string command = "bindir=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1); "
                          "\"$bindir/pg_ctl\" -D '" + pg + "/data' -l '" + pg + "/server.log' -w -t 60 -o "
                          "\"-c listen_addresses=127.0.0.1 -p " + port_ + " -k " + pg +
                          "/socket -c fsync=off\" start";
    if (geteuid() == 0) command = "runuser -u postgres -- sh -c '" + std::regex_replace(command, std::regex("'"), "'\\''") + "'";
    int status = 0;
    Shell(command + " >/dev/null 2>&1", &status);
    return status == 0;
  }

 private:
  TempDir dir_;
  std::string script_, connect_, port_, failure_;
  std::optional<std::string> previous_;
};

TEST(DatabaseFaults, ServerStoppedWhileThePackageWorks) {
  OwnServer server;
  if (!server.running()) GTEST_SKIP() << "no PostgreSQL server could be started: " << server.failure();
  ConvertingBench cb(StoppedPackageOptions(/*postgres=*/true));
  if (!cb.available()) GTEST_SKIP() << "the demo formats are not in the tree";
  RunBench& b = cb.bench;
  AddTwoConvertingCenters(cb, /*hangFirst=*/true);
  ASSERT_FALSE(b.Start());
  const DatabaseTarget target = b.master().target();

  PackageStopper stopper(b, [&] { server.Stop(); });
  RecordingListener l;
  RunCenters(b, {"C1", "C2"}, l);
  stopper.Join();

  EXPECT_EQ(OutcomeOf(b, "C1"), "抽出ｴﾗｰ|||9");
  EXPECT_EQ(OutcomeOf(b, "C2"), "通番ｴﾗｰ|||9");
  EXPECT_TRUE(PackageGone(b));

  ASSERT_TRUE(server.Restart());
  auto db = Database::Open(target);
  auto history = [&] {
    return db->Query("SELECT 通番, 枝番, 処理種別, センターコード, 処理終了日付, 終了コード"
                     " FROM FL1102処理履歴ファイル ORDER BY 通番, 枝番");
  };
  // The two rows that C1 had started before the server went away: there, and open.
  auto rows = history();
  ASSERT_EQ(rows.size(), 2u);
  for (const auto& r : rows) {
    EXPECT_EQ(r.Int("通番"), 1);
    EXPECT_EQ(r.Text("センターコード"), "C1");
    EXPECT_FALSE(r.Get("処理終了日付").has_value());
    EXPECT_FALSE(r.Get("終了コード").has_value());
  }
  EXPECT_EQ(rows[0].Text("処理種別"), "04");
  EXPECT_EQ(rows[1].Text("処理種別"), "42");

  // A new start of the workstation runs both centers to the end on new serials.
  b.ConfigurePackage();
  ASSERT_FALSE(b.Start());
  RecordingListener again;
  RunCenters(b, {"C1", "C2"}, again);
  EXPECT_EQ(OutcomeOf(b, "C1"), "OK|OK|OK|2");
  EXPECT_EQ(OutcomeOf(b, "C2"), "OK|OK|OK|2");
  rows = history();
  ASSERT_EQ(rows.size(), 10u);
  for (std::size_t i = 2; i < rows.size(); ++i) {
    EXPECT_GE(rows[i].Int("通番"), 2);
    EXPECT_EQ(rows[i].Text("終了コード"), "0000");
  }
  EXPECT_FALSE(rows[0].Get("終了コード").has_value());  // the open rows stay as they were
}

// The same loss on SQLite, through the connection's fault hook: from the moment the package
// starts, every statement fails as on a dropped connection.
TEST(DatabaseFaults, ConnectionLostDuringExtractionOnSqlite) {
  ConvertingBench cb;
  if (!cb.available()) GTEST_SKIP() << "the demo formats are not in the tree";
  RunBench& b = cb.bench;
  AddTwoConvertingCenters(cb);
  ASSERT_FALSE(b.Start());
  bool lost = false;
  b.ws.db->SetFaultHook([&](const std::string&) {
    if (lost) throw DatabaseError("connection lost");
  });
  HookListener l;
  l.onLog = [&](const std::string& line) {
    if (line.find("通信パッケージ起動 (PC1)") != std::string::npos) lost = true;
  };
  RunCenters(b, {"C1", "C2"}, l);
  b.ws.db->SetFaultHook(nullptr);

  EXPECT_EQ(OutcomeOf(b, "C1"), "抽出ｴﾗｰ|||9");
  EXPECT_EQ(OutcomeOf(b, "C2"), "通番ｴﾗｰ|||9");
  auto rows = b.History();
  ASSERT_EQ(rows.size(), 2u);
  for (const auto& r : rows) {
    EXPECT_EQ(r.Text("センターコード"), "C1");
    EXPECT_FALSE(r.Get("終了コード").has_value());
  }
  // The package did its work: the in-house file is there and was backed up.
  EXPECT_TRUE(std::filesystem::exists(b.out / "00000001_SND_C1__________0101.LOC"));
  EXPECT_TRUE(std::filesystem::exists(b.old / "00000001_SND_C1__________0101.LOC"));

  ASSERT_FALSE(b.Start());
  RecordingListener again;
  RunCenters(b, {"C1", "C2"}, again);
  EXPECT_EQ(OutcomeOf(b, "C1"), "OK|OK|OK|2");
  EXPECT_EQ(OutcomeOf(b, "C2"), "OK|OK|OK|2");
  rows = b.History();
  ASSERT_EQ(rows.size(), 10u);
  EXPECT_FALSE(rows[0].Get("終了コード").has_value());
  EXPECT_EQ(rows[2].Int("通番"), 2);
}

}  // namespace
}  // namespace edi::test
