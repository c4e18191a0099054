// A failed step leaves its reason in ERR.LOG under the run's serial (the step, the file, the
// system's message), where the history window's log pane finds it.
#include <gtest/gtest.h>

#include "fault_bench.h"
#include "run/history_query.h"

namespace edi::test {
namespace {

// The first line of the serial's log lines that holds every one of the texts, or "".
std::string LineWith(const std::vector<std::string>& lines, const std::vector<std::string>& texts) {
  for (const auto& line : lines) {
    bool all = true;
    for (const auto& t : texts) all = all && line.find(t) != std::string::npos;
    if (all) return line;
  }
  return {};
}

TEST(FailureReasons, EveryFailedStepWritesItsReasonUnderTheRunsSerial) {
  ConvertingBench cb;
  if (!cb.available()) GTEST_SKIP() << "the demo formats are not in the tree";
  RunBench& b = cb.bench;
  for (const char* c : {"C1", "C2", "C3"}) cb.AddConvertingCenter(c);
  const auto victim = b.root / "victim";
  WriteBytes(victim, "not the run's file");
  // C1: the package folder refuses the hand-off (its name is a link); C2: the parameter file
  // cannot be written (a link too); C3 runs cleanly and leaves no fault line.
  std::filesystem::create_symlink(victim, b.send / "C1.CII");
  std::filesystem::create_symlink(victim, b.param / "EDI00000002.INI");
  ASSERT_FALSE(b.Start());
  RecordingListener l;
  RunCenters(b, {"C1", "C2", "C3"}, l);
  ASSERT_EQ(Codes(b, 1).back(), "20:5100/0002");
  ASSERT_EQ(Codes(b, 2).back(), "42:4100/0001");

  const auto send = run::ErrLogLines(b.ws.errLogPath, 1);
  const std::string sendLine = LineWith(send, {"送信", (b.send / "C1.CII").string(), "シンボリックリンク"});
  EXPECT_EQ(sendLine.rfind("5100--P740150 fault--00000001  ", 0), 0u) << sendLine;
  // The serial's translation lines are there too: the pane shows the whole story of the run.
  EXPECT_FALSE(LineWith(send, {"--P114040 start--00000001"}).empty());

  const auto extract = run::ErrLogLines(b.ws.errLogPath, 2);
  const std::string extractLine = LineWith(extract, {"データ抽出", "EDI00000002.INI", "シンボリックリンク"});
  EXPECT_EQ(extractLine.rfind("4100--P740150 fault--00000002  ", 0), 0u) << extractLine;
  EXPECT_TRUE(LineWith(extract, {"--P114040 start--"}).empty());  // nothing was converted

  EXPECT_TRUE(LineWith(run::ErrLogLines(b.ws.errLogPath, 3), {"fault--"}).empty());
}

}  // namespace
}  // namespace edi::test
