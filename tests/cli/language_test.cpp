// The language of the edi command: Japanese by default (no locale, LANG=C, C.UTF-8, as cron and
// service managers start programs), English under an English locale whether or not that
// locale is generated on the machine; the workstation's own texts the same in every language.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include "test_support.h"

namespace edi {
namespace {

struct Said {
  int exitCode;
  std::string out, err;
};

class LanguageTest : public ::testing::Test {
 protected:
  // Runs edi with only the given locale variables set.
  Said Edi(const std::string& locale, const std::string& arguments) {
    const std::string command = "env -u LC_ALL -u LC_MESSAGES -u LANG -u LANGUAGE -u EDI_INI " + locale + " " +
                                EDI_PROGRAM + " " + arguments + " >" + (dir / "out.txt").string() + " 2>" +
                                (dir / "err.txt").string() + " </dev/null";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::ReadBytes(dir / "out.txt"),
            test::ReadBytes(dir / "err.txt")};
  }
  test::TempDir dir;
};

// Locale variables, each with the language they choose.
const std::pair<const char*, bool> kLocales[] = {
    {"", false},
    {"LANG=C", false},
    {"LANG=C.UTF-8", false},
    {"LANG=ja_JP.UTF-8", false},
    {"LC_ALL=C LANG=en_US.UTF-8", false},
    {"LANG=en_US.UTF-8", true},
    {"LC_ALL=en_GB", true},
    {"LANG=C LC_MESSAGES=en_GB.UTF-8", true},
    {"LANG=C.UTF-8 LC_ALL=en_US.UTF-8", true},
};

// The same refusals of edi check, edi format and edi resend: their reason and their usage.
TEST_F(LanguageTest, RefusalsAreJapaneseByDefaultAndEnglishUnderAnEnglishLocale) {
  struct Refusal {
    std::string arguments, japanese, english;
  };
  const Refusal refusals[] = {
      {"check --limit 0 in.loc", "edi check: --limit には指摘の件数 (1 以上) を指定します\n使い方: edi check FILE",
       "edi check: --limit is a number of findings (1 or more)\nusage: edi check FILE"},
      {"format", "使い方: edi format export DIR", "usage: edi format export DIR"},
      {"resend abc", "edi resend: SERIAL には実行の通番を指定します\n使い方: edi resend SERIAL [--force]\n",
       "edi resend: SERIAL must be a run's serial number\nusage: edi resend SERIAL [--force]\n"},
  };
  for (const Refusal& r : refusals) {
    for (const auto& [locale, english] : kLocales) {
      SCOPED_TRACE(r.arguments + " under " + locale);
      const Said said = Edi(locale, r.arguments);
      EXPECT_EQ(said.exitCode, 2);
      EXPECT_EQ(said.err.rfind(english ? r.english : r.japanese, 0), 0u) << said.err;
    }
  }
}

// "INIﾌｧｲﾙ読込エラー" is the operator's message in every language; the detail after it is
// in the operator's language.
TEST_F(LanguageTest, TheOperatorsMessageIsTheSameInEveryLanguage) {
  std::filesystem::create_directories(dir / "folder.ini");
  const std::string arguments = "history --ini " + (dir / "folder.ini").string();
  for (const auto& [locale, english] : kLocales) {
    SCOPED_TRACE(locale);
    const Said said = Edi(locale, arguments);
    EXPECT_EQ(said.exitCode, 2);
    EXPECT_EQ(said.err.rfind("INIﾌｧｲﾙ読込エラー\nedi: ", 0), 0u) << said.err;
    EXPECT_NE(said.err.find(english ? "is not a configuration file" : "は設定ファイルではありません"), std::string::npos)
        << said.err;
  }
}

}  // namespace
}  // namespace edi
