#include "app/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "test_support.h"

namespace edi {
namespace {

TEST(ConfigFolderTest, TwoLevelsAboveTheProgramFolder) {
  EXPECT_EQ(ResolveConfigFolder("/opt/EDI/BIN/P740150"), std::filesystem::path("/opt/EDI"));
  EXPECT_EQ(ResolveConfigFolder("/EDI/BIN"), std::filesystem::path("/"));
  EXPECT_EQ(ResolveConfigFolder("/BIN"), std::nullopt);
  EXPECT_EQ(ResolveConfigFolder(""), std::nullopt);
}

TEST(ConfigFolderTest, IniOptionThenEnvironmentThenFolderRule) {
  ::unsetenv("EDI_INI");
  EXPECT_EQ(LocateIniFile(std::nullopt, "/srv/edi/bin/p"), std::filesystem::path("/srv/edi/EDI.ini"));
  ::setenv("EDI_INI", "/etc/edi/EDI.ini", 1);
  EXPECT_EQ(LocateIniFile(std::nullopt, "/BIN"), std::filesystem::path("/etc/edi/EDI.ini"));
  EXPECT_EQ(LocateIniFile(std::string("/tmp/other.ini"), "/BIN"), std::filesystem::path("/tmp/other.ini"));
  ::unsetenv("EDI_INI");
}

TEST(ConversionTest, MandatoryNumbersTakeDecimalAndHex) {
  EXPECT_EQ(ParseMandatoryNumber("16777215"), 16777215.0);
  EXPECT_EQ(ParseMandatoryNumber("&HFFFFFF"), 16777215.0);
  EXPECT_EQ(ParseMandatoryNumber(" &hff "), 255.0);
  EXPECT_EQ(ParseMandatoryNumber("-1.5"), -1.5);
  EXPECT_EQ(ParseMandatoryNumber(""), std::nullopt);
  EXPECT_EQ(ParseMandatoryNumber("12abc"), std::nullopt);
  EXPECT_EQ(ParseMandatoryNumber("&H"), std::nullopt);
}

TEST(ConversionTest, SixteenBitIntegersKeepTheirRange) {
  EXPECT_EQ(ParseInt16("32767"), 32767);
  EXPECT_EQ(ParseInt16("-32768"), -32768);
  EXPECT_EQ(ParseInt16("40000"), std::nullopt);
  EXPECT_EQ(ParseInt16("x"), std::nullopt);
  EXPECT_EQ(ParseInt16("2.5"), 2);  // rounds half to even
}

TEST(ConversionTest, LeadingNumbersNeverFail) {
  EXPECT_EQ(LeadingNumber("255 red"), 255.0);
  EXPECT_EQ(LeadingNumber("&H00FF00"), 65280.0);
  EXPECT_EQ(LeadingNumber(""), 0.0);
  EXPECT_EQ(LeadingNumber("red"), 0.0);
}

class ProgramSettingsTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  IniFile Write(const std::string& body) {
    test::WriteAnsiText(dir / "EDI.ini", body);
    return IniFile(dir / "EDI.ini");
  }
  std::string Standard() { return test::StandardIni(dir.path(), "[動作環境]\nDBENGINE=SQLITE\n"); }
  static std::string Replace(std::string s, const std::string& from, const std::string& to) {
    auto pos = s.find(from);
    EXPECT_NE(pos, std::string::npos) << from;
    return s.replace(pos, from.size(), to);
  }
};

TEST_F(ProgramSettingsTest, ReadsEverySection) {
  ProgramSettings p = ReadProgramSettings(Write(Standard()));
  EXPECT_EQ(p.display.formBackColor, "&HC0C0C0");
  EXPECT_EQ(p.display.label.backColor, 16777215.0);
  EXPECT_EQ(p.display.title.foreColor, 16777215.0);
  EXPECT_EQ(p.display.title.font.bold, "True");
  EXPECT_EQ(p.paths.outFolder, (dir.path() / "out").string() + "/");
  EXPECT_EQ(p.configFolder, dir.path());
  StatusColours c = LoadStatusColours(IniFile(dir / "EDI.ini"));
  EXPECT_EQ(c.error, 255u);
  EXPECT_EQ(c.processed, 0xFF0000u);
  EXPECT_EQ(c.ForState(1), 0x008000u);
}

TEST_F(ProgramSettingsTest, AMandatoryValueMissingOrOutOfRangeIsAnError) {
  EXPECT_THROW(ReadProgramSettings(Write(Replace(Standard(), "LabelBackColor=&HFFFFFF", "LabelBackColor="))),
               SettingsError);
  EXPECT_THROW(ReadProgramSettings(Write(Replace(Standard(), "MINIMAIZE=0", "MINIMAIZE=40000"))), SettingsError);
  // An empty colour of section COLOR is black, not an error.
  IniFile ini = Write(Replace(Standard(), "通常=0", "通常="));
  EXPECT_EQ(LoadStatusColours(ini).normal, 0u);
}

TEST_F(ProgramSettingsTest, RelativeFoldersAreTakenFromTheFolderOfTheIni) {
  ProgramSettings p = ReadProgramSettings(Write(Replace(Standard(), "EDIOUTFIL=" + dir.path().string() + "/out/", "EDIOUTFIL=out/")));
  EXPECT_EQ(p.paths.outFolder, dir.path().string() + "/out/");
}

TEST_F(ProgramSettingsTest, ConnectionFieldsAreFiftyCharacters) {
  ConnectionSettings c = ReadConnectionSettings(Write("[動作環境]\nUSERID=edi\nDBSTRING=" + std::string(60, 'd') + "\n"));
  EXPECT_EQ(c.userId, "edi" + std::string(47, ' '));
  EXPECT_EQ(c.dbString, std::string(50, 'd'));
  EXPECT_EQ(c.password, std::string(50, ' '));
}

TEST_F(ProgramSettingsTest, PackageCodesStopAtAnEmptyOrBackslashLine) {
  IniFile ini = Write("[PATH]\nPRPATH=param\nMGCMDLINEZS=/bin/pkg -x\n[JKBN_J_S]\n0101\n0102\n\\\n0103\n");
  PackageSettings s = ReadPackageSettings(ini);
  EXPECT_EQ(s.defaultInfoCodes, (std::vector<std::string>{"0101", "0102"}));
  EXPECT_EQ(s.paramFolder, dir.path().string() + "/param");
  EXPECT_EQ(s.commandLine, "/bin/pkg -x");
  EXPECT_EQ(s.timeoutSeconds, 0);
}

}  // namespace
}  // namespace edi
