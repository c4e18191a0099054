// Whole-file writes through the platform layer: a rename replaces the earlier file in one
// step, a failed write leaves the earlier file as it was and no temporary file behind, and a
// link at the target's name is refused.
#include <gtest/gtest.h>

#include "app/whole_file.h"
#include "platform/files.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace edi {
namespace {

TEST(PlatformFiles, RenameReplacesAndHardLinksShareTheContent) {
  test::TempDir dir;
  test::WriteBytes(dir / "a", "new");
  test::WriteBytes(dir / "b", "earlier");
  EXPECT_EQ(platform::RenameOver(dir / "a", dir / "b"), 0);
  EXPECT_EQ(test::ReadBytes(dir / "b"), "new");
  EXPECT_NE(platform::RenameOver(dir / "a", dir / "b"), 0);  // nothing to rename any more
  EXPECT_EQ(platform::MakeHardLink(dir / "b", dir / "c"), 0);
  EXPECT_EQ(test::ReadBytes(dir / "c"), "new");
  EXPECT_EQ(platform::MakeHardLink(dir / "b", dir / "c"), EEXIST);
  EXPECT_FALSE(platform::IsLink(dir / "c"));
}

TEST(PlatformFiles, AFailedWriteLeavesTheEarlierFileWhole) {
  test::TempDir dir;
  const auto target = dir / "EDI00000001.CII";
  test::WriteBytes(target, "earlier file");
  std::filesystem::create_directory(dir / "folder");
  // Reading the source fails half-way (a folder is no file): nothing is put in place.
  auto fault = CopyFileWhole(dir / "folder", target);
  ASSERT_TRUE(fault);
  EXPECT_NE(fault->text.find("folder"), std::string::npos);
  EXPECT_EQ(test::ReadBytes(target), "earlier file");
  EXPECT_EQ(test::FileNames(dir.path()), (std::vector<std::string>{"EDI00000001.CII", "folder"}));

  // The rename fails (the target's name is taken by a folder): the temporary file goes.
  EXPECT_TRUE(WriteFileWhole(dir / "folder", "bytes"));
  EXPECT_EQ(test::FileNames(dir.path()), (std::vector<std::string>{"EDI00000001.CII", "folder"}));
#ifdef _WIN32
  // Another program holds the file open without letting it be replaced.
  HANDLE held = CreateFileW(target.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  fault = WriteFileWhole(target, "new bytes");
  CloseHandle(held);
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->error, EACCES);
  EXPECT_EQ(test::ReadBytes(target), "earlier file");
  EXPECT_EQ(test::FileNames(dir.path()), (std::vector<std::string>{"EDI00000001.CII", "folder"}));
#endif
  EXPECT_FALSE(WriteFileWhole(target, "new bytes"));
  EXPECT_EQ(test::ReadBytes(target), "new bytes");
}

TEST(PlatformFiles, ALinkAtTheNameIsRefused) {
  test::TempDir dir;
  test::WriteBytes(dir / "elsewhere", "not ours");
  std::error_code ec;
#ifdef _WIN32
  // A symbolic link is a reparse point (the C++ library of mingw makes none).
  if (!CreateSymbolicLinkW((dir / "link").wstring().c_str(), (dir / "elsewhere").wstring().c_str(),
                           SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
    ec = std::error_code(static_cast<int>(GetLastError()), std::system_category());
  // wine answers success without making the link.
  else if (GetFileAttributesW((dir / "link").wstring().c_str()) == INVALID_FILE_ATTRIBUTES)
    ec = std::make_error_code(std::errc::function_not_supported);
#else
  std::filesystem::create_symlink(dir / "elsewhere", dir / "link", ec);
#endif
  if (ec) GTEST_SKIP() << "this system lets no link be made here: " << ec.message();
  EXPECT_TRUE(platform::IsLink(dir / "link"));
  auto refused = WriteFileWhole(dir / "link", "bytes");
  ASSERT_TRUE(refused);
  EXPECT_TRUE(refused->link);
  EXPECT_EQ(test::ReadBytes(dir / "elsewhere"), "not ours");
}

}  // namespace
}  // namespace edi
