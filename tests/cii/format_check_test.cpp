// The layout check: the demo layout is sound, and each rule catches the mistake it is for.
#include "cii/format_check.h"

#include <gtest/gtest.h>

#include <functional>

#include "app/database.h"
#include "cii/masters.h"
#include "test_support.h"

namespace edi::cii::test {
namespace {

class LayoutCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    db = edi::test::TestDatabase::Sqlite(dir.path());
    ASSERT_TRUE(edi::test::LoadDemoFormats(db->db()));
    DatabaseMasters masters(db->db());
    edi = masters.FindItems('E', "0101", "ORDR0101");
    local = masters.FindItems('L', "0101", "ORDR0101");
    ASSERT_EQ(edi.size(), 11u);
  }
  edi::test::TempDir dir;
  std::unique_ptr<edi::test::TestDatabase> db;
  std::vector<ItemFormat> edi, local;
};

TEST_F(LayoutCheck, TheDemoLayoutIsSound) {
  EXPECT_TRUE(CheckLayout("0101", "ORDR0101", edi, local).empty());
  LayoutCheckResult r = CheckLayouts(db->db(), {});
  EXPECT_EQ(r.formats, 1);
  EXPECT_EQ(r.items, 22);
  EXPECT_TRUE(r.faults.empty());
}

// Items are named by 項目通番, which is the index in the demo tables.
TEST_F(LayoutCheck, EachRuleCatchesItsMistake) {
  struct Case {
    const char* what;
    std::function<void(std::vector<ItemFormat>& E, std::vector<ItemFormat>& L)> change;
    const char* rule;
    char kind;
    int sequence;
  };
  const std::vector<Case> cases = {
      {"a member two levels down", [](auto& E, auto&) { E[5].level = 2; }, rule::kOpenGroup, 'E', 6},
      {"a negative level", [](auto&, auto& L) { L[2].level = -1; }, rule::kLevel, 'L', 3},
      {"a group at the end", [](auto& E, auto& L) { E[10].attribute = L[10].attribute = "M"; }, rule::kEmptyGroup, 'E', 11},
      {"no 'L' item writes it", [](auto&, auto& L) { L[6].counterpart = 99; }, rule::kCounterpart, 'E', 7},
      {"its 'L' item is not there", [](auto& E, auto&) { E[6].counterpart = 77; }, rule::kCounterpart, 'E', 7},
      {"groups at other indexes", [](auto& E, auto&) { E.erase(E.begin()); }, rule::kGroupIndex, 'E', 5},
      {"no position", [](auto&, auto& L) { L[1].position = ""; }, rule::kPosition, 'L', 2},
      {"two items share bytes", [](auto&, auto& L) { L[2].position = "17"; }, rule::kOverlap, 'L', 3},
      {"a member beyond its group", [](auto&, auto& L) { L[9].position = "90"; }, rule::kPastGroup, 'L', 10},
      {"a tag with no encoding", [](auto& E, auto&) { E[1].itemNo = 0xF000; }, rule::kTag, 'E', 2},
      {"a group number with no code", [](auto& E, auto&) { E[4].multiDetail = "-3"; }, rule::kTag, 'E', 5},
      {"a negative repeat count", [](auto& E, auto&) { E[4].repeatCount = -1; }, rule::kRepeat, 'E', 5},
      {"a repeat count on a data item", [](auto& E, auto&) { E[0].repeatCount = 2; }, rule::kRepeat, 'E', 1},
      {"an unknown attribute", [](auto&, auto& L) { L[3].attribute = "Q"; }, rule::kAttribute, 'L', 4},
      {"a pair the reader cannot read", [](auto&, auto& L) { L[3].attribute = "X"; }, rule::kAttribute, 'E', 4},
      {"decimals on a text item", [](auto&, auto& L) { L[6].decimals = 1; }, rule::kDecimals, 'L', 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<ItemFormat> E = edi, L = local;
    c.change(E, L);
    auto faults = CheckLayout("0101", "ORDR0101", E, L);
    bool found = false;
    for (const LayoutFault& f : faults)
      found = found || (f.rule == c.rule && f.kind == c.kind && f.sequence == c.sequence);
    std::string all;
    for (const LayoutFault& f : faults) all += Describe(f) + "\n";
    EXPECT_TRUE(found) << all;
  }
}

TEST_F(LayoutCheck, AFaultNamesCategoryBpidSequenceAndName) {
  local[8].position = "75";  // 数量 moves one byte into 品名
  auto faults = CheckLayout("0101", "ORDR0101", edi, local);
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_EQ(Describe(faults[0]), "0101 ORDR0101 L 9 数量: [overlap] 75–82 バイト目が項目通番 8 (60–75 バイト目) と重なります");
}

TEST_F(LayoutCheck, AMessageGroupWithoutItsFormatIsReported) {
  db->db().Execute("INSERT INTO FL1916メッセージグループ情報マスタ (相手先コード, 自社コード, 情報区分, BPID) "
                   "VALUES ('NEWPARTNER  ', 'OWNCO0000001', '0909', 'NOPE0909')");
  LayoutCheckResult r = CheckLayouts(db->db(), {});
  EXPECT_EQ(r.formats, 2);
  ASSERT_EQ(r.faults.size(), 3u);  // no FL1902 row, no 'E' items, no 'L' items
  for (const LayoutFault& f : r.faults) {
    EXPECT_EQ(f.category + f.bpid, "0909NOPE0909");
    EXPECT_EQ(f.rule, rule::kNoFormat);
  }
  EXPECT_TRUE(CheckLayouts(db->db(), FormatFilter{"0101", std::nullopt}).faults.empty());

  // A null in a number column stops the translator (0030): the layout is named as unreadable.
  db->db().Execute("UPDATE FL1903レコードフォーマット情報マスタ SET 長さ=NULL WHERE 項目通番=3");
  r = CheckLayouts(db->db(), FormatFilter{"0101", "ORDR0101"});
  ASSERT_EQ(r.faults.size(), 1u);
  EXPECT_EQ(r.faults[0].rule, rule::kUnreadable);
}

}  // namespace
}  // namespace edi::cii::test
