// ERR.LOG by serial for the history window: sections from start and fault lines, growth read
// incrementally, a replaced log read anew, and limits that keep a hostile log harmless.
#include <gtest/gtest.h>

#include <fstream>

#include "run/err_log_index.h"
#include "test_support.h"

namespace edi::run {
namespace {

void Append(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary | std::ios::app) << bytes;
}

TEST(ErrLogIndex, SectionsOfASerialFromStartAndFaultLinesAsTheLogGrows) {
  test::TempDir dir;
  const auto log = dir / "ERR.LOG";
  Append(log, "0000--P114040 start--00000007  2026/12/08 09:00:00\r\n0026-1\r\n"
              "5100--P740150 fault--00000008  2026/12/08 09:01:00 送信 /send/C1.CII: a symbolic link\r\n"
              "0000--P114040 start--00000007  2026/12/08 09:02:00\r\n0027");  // the last line is unfinished
  ErrLogIndex index(log);
  index.Update();
  EXPECT_EQ(index.sections(), 3u);
  ErrLogIndex::Lines seven = index.LinesOf(7, {});
  EXPECT_EQ(seven.lines, (std::vector<std::string>{"0000--P114040 start--00000007  2026/12/08 09:00:00", "0026-1",
                                                    "0000--P114040 start--00000007  2026/12/08 09:02:00", "0027"}));
  EXPECT_FALSE(seven.cut);
  EXPECT_EQ(index.LinesOf(8, {}).lines.size(), 1u);

  // Growth is read from where the index stopped (the unfinished line, read again once whole).
  const auto before = index.indexedBytes();
  Append(log, "\r\n9900--P740150 fault--00000009  2026/12/08 09:03:00 処理全体: 手動で閉じました\r\n");
  index.Update();
  EXPECT_GE(index.indexedBytes(), before);
  EXPECT_EQ(index.sections(), 4u);
  EXPECT_EQ(index.LinesOf(7, {}).lines.back(), "0027");
  EXPECT_EQ(index.LinesOf(9, {}).lines.size(), 1u);

  // A log replaced by a shorter one (rotated by hand) is indexed anew.
  std::filesystem::remove(log);
  Append(log, "0000--P114040 start--00000010  2026/12/09 08:00:00\r\n");
  index.Update();
  EXPECT_EQ(index.sections(), 1u);
  EXPECT_TRUE(index.LinesOf(7, {}).lines.empty());
  std::filesystem::remove(log);
  index.Update();
  EXPECT_EQ(index.sections(), 0u);
}

TEST(ErrLogIndex, AHostileLogIsReadWithinTheLimits) {
  test::TempDir dir;
  const auto log = dir / "ERR.LOG";
  // Serial 5 ends in 4 MB of NUL bytes without a line end (what a crash can leave); serial 6
  // logged 5,000 lines.
  Append(log, "0000--P114040 start--00000005  2026/12/08 09:00:00\r\n0001\r\n" + std::string(4u << 20, '\0'));
  Append(log, "\r\n0000--P114040 start--00000006  2026/12/08 09:00:00\r\n");
  for (int i = 0; i < 5000; ++i) Append(log, "0026-" + std::to_string(i) + "\r\n");
  ErrLogIndex index(log);
  index.Update();
  EXPECT_EQ(index.sections(), 2u);
  ErrLogIndex::Limits limits;
  limits.maxLines = 100;
  limits.maxLineBytes = 40;
  const auto five = index.LinesOf(5, limits);
  ASSERT_EQ(five.lines.size(), 3u);
  EXPECT_EQ(five.lines[1], "0001");
  EXPECT_EQ(five.lines[2], std::string(40, '?') + " …(" + std::to_string(4u << 20) + " バイト)");
  const auto six = index.LinesOf(6, limits);
  EXPECT_EQ(six.lines.size(), 100u);
  EXPECT_TRUE(six.cut);
  // A bound on the bytes read for one serial stops a section without line ends early.
  limits.maxBytesRead = 1u << 20;
  EXPECT_TRUE(index.LinesOf(5, limits).cut);
}

}  // namespace
}  // namespace edi::run
