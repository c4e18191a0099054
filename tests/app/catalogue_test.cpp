// The message catalogue in the process: the language chosen from the locale variables, the
// texts the workstation keeps as they are in every language, and numbered places that a
// translation may reorder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/catalogue.h"
#include "app/messages.h"

namespace edi {
namespace {

// Sets the locale variables for one test and chooses the catalogue from them; puts the
// variables back and returns to Japanese at the end, for the tests that follow.
class CatalogueTest : public ::testing::Test {
 protected:
  static constexpr const char* kNames[] = {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE", "EDI_LOCALEDIR"};
  CatalogueTest() {
    for (const char* name : kNames) {
      const char* v = std::getenv(name);
      saved_.push_back(v ? std::optional<std::string>(v) : std::nullopt);
    }
  }
  ~CatalogueTest() override {
    setenv("LC_ALL", "C", 1);
    InitCatalogue();  // Japanese again, as the other tests of this program expect
    for (std::size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i]) setenv(kNames[i], saved_[i]->c_str(), 1);
      else unsetenv(kNames[i]);
    }
  }
  void Choose(std::initializer_list<std::pair<const char*, const char*>> vars) {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"}) unsetenv(name);
    setenv("EDI_LOCALEDIR", EDI_BUILD_LOCALEDIR, 1);
    for (const auto& [name, value] : vars) setenv(name, value, 1);
    InitCatalogue();
  }
  std::vector<std::optional<std::string>> saved_;
};

constexpr const char* kRefusal = "SERIAL には実行の通番を指定します";

TEST_F(CatalogueTest, TheLocaleVariablesChooseTheLanguageInTheirOrder) {
  struct Case {
    std::initializer_list<std::pair<const char*, const char*>> vars;
    bool english;
  };
  const Case cases[] = {
      {{}, false},
      {{{"LANG", "C"}}, false},
      {{{"LANG", "C.UTF-8"}}, false},
      {{{"LANG", "ja_JP.UTF-8"}}, false},
      {{{"LANG", "POSIX"}, {"LANGUAGE", "en"}}, false},  // LANGUAGE alone does not choose
      {{{"LANG", "en_US.UTF-8"}}, true},
      {{{"LANG", "en_GB"}}, true},
      {{{"LANG", "en"}}, true},
      {{{"LANG", "eo.UTF-8"}}, false},  // Esperanto begins with "e", not with "en"
      {{{"LANG", "C"}, {"LC_MESSAGES", "en_GB.UTF-8"}}, true},
      {{{"LANG", "en_US.UTF-8"}, {"LC_MESSAGES", "ja_JP.UTF-8"}}, false},
      {{{"LANG", "en_US.UTF-8"}, {"LC_ALL", "C"}}, false},
      {{{"LANG", "C"}, {"LC_ALL", "en_US.UTF-8"}}, true},
      {{{"LANG", "en_US.UTF-8"}, {"LANGUAGE", "de:fr"}}, true},  // no catalogue of those: English
  };
  for (const Case& c : cases) {
    Choose(c.vars);
    std::string what;
    for (const auto& [name, value] : c.vars) what += std::string(name) + "=" + value + " ";
    SCOPED_TRACE(what);
    EXPECT_EQ(CatalogueIsEnglish(), c.english);
    EXPECT_EQ(std::string(Tr(kRefusal)), c.english ? "SERIAL must be a run's serial number" : kRefusal);
  }
}

// The operator's messages and the status texts are the workstation's own words: English
// keeps them exactly, while the text around them is translated.
TEST_F(CatalogueTest, TheWorkstationsOwnTextsStayAsTheyAreInEnglish) {
  Choose({{"LANG", "en_US.UTF-8"}});
  ASSERT_TRUE(CatalogueIsEnglish());
  for (const char* text : {msg::kIniReadError, msg::kConnectError, msg::kNoData, msg::kItemSettingError,
                           msg::kOperatorInputError, msg::kConfirmQuit, "通常", "処理中", "処理済", "エラー",
                           "ｾﾝﾀｰｺｰﾄﾞ", "データ抽出", "変 換", "送 信"})
    EXPECT_STREQ(Tr(text), text);
  EXPECT_EQ(TrArgs("{1} の二つ上のフォルダに設定ファイルがありません", {"/opt/edi/BIN"}),
            "no configuration folder two levels above /opt/edi/BIN");
}

// A catalogue that cannot be found leaves every text in Japanese rather than showing nothing.
TEST_F(CatalogueTest, AMissingCatalogueGivesTheJapaneseText) {
  Choose({{"LANG", "en_US.UTF-8"}, {"EDI_LOCALEDIR", "/nonexistent"}});
  EXPECT_STREQ(Tr(kRefusal), kRefusal);
}

TEST_F(CatalogueTest, PlacesAreFilledInTheOrderATranslationPutsThem) {
  Choose({});
  EXPECT_EQ(TrArgs("{2} と {1} と {2}", {"a", "b"}), "b と a と b");
  // A place without an argument, and braces that are no place, stay as written.
  EXPECT_EQ(TrArgs("{1} {3} {} {x} {0}", {"a"}), "a {3} {} {x} {0}");
  // An argument that itself holds a place is not filled again.
  EXPECT_EQ(TrArgs("{1}/{2}", {"{2}", "b"}), "{2}/b");
  // The numbers of the English text for the same message: its order of places.
  Choose({{"LANG", "en_GB.UTF-8"}});
  EXPECT_EQ(TrArgs("属性 \"{2}\" の項目に小数部長さ {1} があります: グループは項目にない小数点の1バイトを数えます", {"2", "K"}),
            "小数部長さ 2 on a 属性 \"K\" item: its group counts a decimal point byte that the item does not have");
}

}  // namespace
}  // namespace edi
