// Taking a file back to what it was before a conversion wrote to it.
#include "app/file_mark.h"

#include <gtest/gtest.h>

#include <fstream>

#include "test_support.h"

namespace edi {
namespace {

TEST(FileMark, RemovesANewFileAndCutsAnOldOneBack) {
  test::TempDir dir;
  const auto file = dir / "r.CII";
  FileMark none(file);
  test::WriteBytes(file, "half");
  EXPECT_TRUE(none.Restore());
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_TRUE(none.Restore());  // nothing was written: nothing to do

  test::WriteBytes(file, "kept");
  FileMark earlier(file);
  std::ofstream(file, std::ios::app | std::ios::binary) << "appended";
  EXPECT_TRUE(earlier.Restore());
  EXPECT_EQ(test::ReadBytes(file), "kept");
  // A file that did not grow stays as it is.
  test::WriteBytes(file, "ke");
  EXPECT_TRUE(earlier.Restore());
  EXPECT_EQ(test::ReadBytes(file), "ke");
}

}  // namespace
}  // namespace edi
