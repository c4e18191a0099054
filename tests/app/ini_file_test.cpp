#include "app/ini_file.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace edi {
namespace {

class IniFileTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::filesystem::path Write(const std::string& utf8) {
    auto p = dir / "EDI.ini";
    test::WriteAnsiText(p, utf8);
    return p;
  }
};

TEST_F(IniFileTest, MissingFileSectionOrKeyGiveEmptyValues) {
  IniFile missing(dir / "nothing.ini");
  EXPECT_FALSE(missing.exists());
  EXPECT_EQ(missing.Read("PATH", "EDIOUTFIL", 256), "");
  EXPECT_EQ(missing.ReadSection("JKBN_J_S", 225), std::string(1, '\0'));

  IniFile ini(Write("[PATH]\nEDIOUTFIL=/x/\n"));
  EXPECT_EQ(ini.Read("PATH", "EDIINFIL", 256), "");
  EXPECT_EQ(ini.Read("COLOR", "通常", 64), "");
}

TEST_F(IniFileTest, JapaneseNamesAndValuesComeBackAsUtf8) {
  IniFile ini(Write("[動作環境]\nUSERID=担当者\n[COLOR]\n通常=255\n"));
  EXPECT_EQ(ini.Read("動作環境", "USERID", 64), "担当者");
  EXPECT_EQ(ini.Read("COLOR", "通常", 64), "255");
}

TEST_F(IniFileTest, NamesCompareWithoutCaseAndTheFirstKeyWins) {
  IniFile ini(Write("[path]\n edioutfil = /first/ \nEDIOUTFIL=/second/\n[PATH]\nEDIOUTFIL=/third/\n"));
  EXPECT_EQ(ini.Read("PATH", "EDIOUTFIL", 256), "/first/");
}

TEST_F(IniFileTest, ValuesAreCutToOneByteLessThanTheBuffer) {
  std::string sixty(60, 'D');
  std::string long300(300, 'p');
  IniFile ini(Write("[動作環境]\nDBSTRING=" + sixty + "\n[PATH]\nEDIOUTFIL=" + long300 + "\n"));
  EXPECT_EQ(ini.Read("動作環境", "DBSTRING", 64), std::string(60, 'D'));
  EXPECT_EQ(ini.Read("動作環境", "DBSTRING", 50), std::string(49, 'D'));
  EXPECT_EQ(ini.Read("PATH", "EDIOUTFIL", 256).size(), 255u);
}

TEST_F(IniFileTest, ACutNeverSplitsADoubleByteCharacter) {
  // "漢字" is 4 bytes in CP932; a buffer of 4 gives 3 bytes, which only hold one character.
  IniFile ini(Write("[MAIL]\nMAIL-TEXT=漢字\n"));
  EXPECT_EQ(ini.Read("MAIL", "MAIL-TEXT", 4), "漢");
}

TEST_F(IniFileTest, BytesThatAreNotCp932ArriveAsReplacementCharacters) {
  auto p = dir / "EDI.ini";
  test::WriteBytes(p, "[PATH]\r\nEDIOUTFIL=a\x85\xff" "b\r\n");
  std::string v = IniFile(p).Read("PATH", "EDIOUTFIL", 256);
  EXPECT_EQ(v.front(), 'a');
  EXPECT_EQ(v.back(), 'b');
  EXPECT_NE(v.find("\xEF\xBF\xBD"), std::string::npos);
}

TEST_F(IniFileTest, WholeSectionReadListsLinesEndedByNuls) {
  IniFile ini(Write("[JKBN_J_S]\n0101\n; a comment\n0102\n\n[PATH]\nX=1\n"));
  std::string section = ini.ReadSection("JKBN_J_S", 225);
  EXPECT_EQ(section, std::string("0101\0" "0102\0\0", 11));
  EXPECT_EQ(IniFile::SplitSection(section), (std::vector<std::string>{"0101", "0102"}));
}

TEST_F(IniFileTest, WholeSectionThatDoesNotFitIsCutAndStillEndsWithTwoNuls) {
  std::string body = "[JKBN_J_S]\n";
  for (int i = 0; i < 60; ++i) body += "01" + std::to_string(10 + i) + "\n";
  IniFile ini(Write(body));
  std::string section = ini.ReadSection("JKBN_J_S", 225);
  ASSERT_EQ(section.size(), 225u);
  EXPECT_EQ(section.substr(223), std::string(2, '\0'));
  auto lines = IniFile::SplitSection(section);
  EXPECT_EQ(lines.front(), "0110");
  EXPECT_LT(lines.size(), 60u);
}

}  // namespace
}  // namespace edi
