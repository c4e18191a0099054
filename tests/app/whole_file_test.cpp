// The whole-file writer: a file that others collect is replaced only by a complete new one,
// never written through a link (dangling or not), and a failed or abandoned write leaves the
// target as it was and no temporary file behind.
#include <gtest/gtest.h>

#include "app/whole_file.h"
#include "test_support.h"

namespace edi {
namespace {

TEST(WholeFile, ReplacesOnlyWhenWholeAndNeverThroughALink) {
  test::TempDir dir;
  const auto target = dir / "send.CII";
  test::WriteBytes(target, "earlier");
  EXPECT_FALSE(WriteFileWhole(target, "new bytes"));
  EXPECT_EQ(test::ReadBytes(target), "new bytes");
  EXPECT_TRUE(CopyFileWhole(dir / "none", target));  // missing source: the target stays
  {
    WholeFileWrite abandoned(target);
    ASSERT_FALSE(abandoned.Open());
    test::WriteBytes(abandoned.temp(), "half a file");
  }
  EXPECT_EQ(test::ReadBytes(target), "new bytes");

  test::WriteBytes(dir / "elsewhere", "not ours");
  std::error_code ec;
  std::filesystem::create_symlink(dir / "elsewhere", dir / "link", ec);
  if (ec) GTEST_SKIP() << "this system lets no link be made here: " << ec.message();
  std::filesystem::create_symlink(dir / "nothing", dir / "dangling");
  for (const char* name : {"link", "dangling"}) {
    auto refused = CopyFileWhole(target, dir / name);
    ASSERT_TRUE(refused) << name;
    EXPECT_TRUE(refused->link);
    EXPECT_NE(refused->text.find(name), std::string::npos);
  }
  EXPECT_EQ(test::ReadBytes(dir / "elsewhere"), "not ours");
  EXPECT_EQ(test::FileNames(dir.path()), (std::vector<std::string>{"dangling", "elsewhere", "link", "send.CII"}));
}

}  // namespace
}  // namespace edi
