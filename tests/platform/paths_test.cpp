// The folder rule with this system's paths: EDI.ini lives two folders above the program's
// folder, and relative folders in it are taken from the folder of the EDI.ini.
#include <gtest/gtest.h>

#include "app/profile.h"
#include "app/settings.h"
#include "platform/paths.h"

namespace edi {
namespace {

TEST(FolderRule, TwoFoldersAboveTheProgramWithThisSystemsPaths) {
#ifdef _WIN32
  const std::filesystem::path program = "C:\\EDI\\BIN\\P740150\\p740150.exe";
  EXPECT_EQ(ResolveConfigFolder(program.parent_path().string()), std::filesystem::path("C:\\EDI"));
  EXPECT_EQ(*LocateIniFile(std::nullopt, program.parent_path().string()), std::filesystem::path("C:\\EDI\\EDI.ini"));
  EXPECT_EQ(ResolveConfigFolder("C:\\EDI\\BIN"), std::filesystem::path("C:\\"));
  EXPECT_EQ(ResolveConfigFolder("D:/EDI/BIN/P740150"), std::filesystem::path("D:/EDI"));
  EXPECT_EQ(ResolveConfigFolder("\\\\server\\share\\EDI\\BIN\\P740150"), std::filesystem::path("\\\\server\\share\\EDI"));
  EXPECT_EQ(ResolveConfigFolder("C:\\BIN"), std::nullopt);
  EXPECT_EQ(ResolveAgainst("C:\\EDI", "DATA\\IN"), "C:\\EDI\\DATA\\IN");
  EXPECT_EQ(ResolveAgainst("C:\\EDI", "D:\\IN"), "D:\\IN");
  EXPECT_EQ(ResolveAgainst("C:\\EDI", "\\\\server\\in"), "\\\\server\\in");
#else
  EXPECT_EQ(ResolveConfigFolder("/opt/EDI/BIN/P740150"), std::filesystem::path("/opt/EDI"));
  EXPECT_EQ(ResolveConfigFolder("/EDI/BIN"), std::filesystem::path("/"));
  EXPECT_EQ(ResolveConfigFolder("/BIN"), std::nullopt);
  EXPECT_EQ(ResolveConfigFolder("C:\\EDI\\BIN\\P740150"), std::nullopt);  // one file name here
  EXPECT_EQ(ResolveAgainst("/opt/EDI", "data/in"), "/opt/EDI/data/in");
  EXPECT_EQ(ResolveAgainst("/opt/EDI", "/in"), "/in");
#endif
  EXPECT_EQ(ResolveConfigFolder(""), std::nullopt);
}

TEST(FolderRule, TheProgramsOwnFolderAndTheMachineAreKnown) {
  const std::filesystem::path folder = platform::ExecutableFolder();
  EXPECT_TRUE(folder.is_absolute()) << folder;
  EXPECT_TRUE(std::filesystem::is_directory(folder)) << folder;
  Profile profile;
  EXPECT_FALSE(profile.OS().empty());
  EXPECT_FALSE(profile.Ver().empty());
  EXPECT_FALSE(profile.machine().empty());
  EXPECT_FALSE(profile.User().empty());
}

}  // namespace
}  // namespace edi
