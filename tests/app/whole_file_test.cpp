// The whole-file writer: a file that others collect is replaced only by a complete new one,
// never written through a link, and a failed write leaves no temporary file behind.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/whole_file.h"
#include "test_support.h"

namespace edi {
namespace {

std::vector<std::string> Names(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(WholeFile, ReplacesCopiesAndRefusesLinks) {
  test::TempDir dir;
  const auto target = dir / "send.CII";
  test::WriteBytes(target, "earlier");
  EXPECT_FALSE(WriteFileWhole(target, "new bytes"));
  EXPECT_EQ(test::ReadBytes(target), "new bytes");
  test::WriteBytes(dir / "source", std::string(200000, 'x'));
  EXPECT_FALSE(CopyFileWhole(dir / "source", target));
  EXPECT_EQ(test::ReadBytes(target), std::string(200000, 'x'));

  // A missing source leaves the target as it was.
  auto missing = CopyFileWhole(dir / "none", target);
  ASSERT_TRUE(missing);
  EXPECT_FALSE(missing->link);
  EXPECT_EQ(test::ReadBytes(target).size(), 200000u);

  // A link at the name (to a file, or to nothing) is refused and left as it is.
  test::WriteBytes(dir / "elsewhere", "not ours");
  std::filesystem::create_symlink(dir / "elsewhere", dir / "link");
  std::filesystem::create_symlink(dir / "nothing", dir / "dangling");
  for (const char* name : {"link", "dangling"}) {
    auto refused = WriteFileWhole(dir / name, "x");
    ASSERT_TRUE(refused) << name;
    EXPECT_TRUE(refused->link);
    EXPECT_NE(refused->text.find(name), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / name));
  }
  EXPECT_EQ(test::ReadBytes(dir / "elsewhere"), "not ours");
  EXPECT_FALSE(std::filesystem::exists(dir / "nothing"));

  // A folder that does not exist: a fault, nothing created.
  EXPECT_TRUE(WriteFileWhole(dir / "no-folder" / "f", "x"));
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"dangling", "elsewhere", "link", "send.CII", "source"}));
}

TEST(WholeFile, AnUncommittedWriteLeavesTheTargetAndNoTemporaryFile) {
  test::TempDir dir;
  const auto target = dir / "result.XML";
  test::WriteBytes(target, "earlier");
  {
    WholeFileWrite write(target);
    ASSERT_FALSE(write.Open());
    test::WriteBytes(write.temp(), "half a docu");
    EXPECT_EQ(write.temp().parent_path(), dir.path());
  }  // never committed
  EXPECT_EQ(test::ReadBytes(target), "earlier");
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"result.XML"});
}

}  // namespace
}  // namespace edi
