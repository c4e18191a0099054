// The compiled layout against the general editing it stands in for: every value rule on
// fields of every shape (local→CII), and values put straight into the line's fields when a
// message is read back (CII→local), where the local widths cut and pad them.
#include <random>

#include "cii/field_conversion.h"
#include "cii/message_plan.h"
#include "cii/value_rule.h"
#include "cii_fixture.h"

namespace edi::cii::test {
namespace {

// The compiled step of one data item, as the plan makes it from the two tables.
ItemPlan StepOf(const ItemFormat& e, const ItemFormat& l) {
  TranslationState st;
  LoadItemFormats(st.ediItems, {e});
  ItemFormat local = l;
  local.counterpart = e.sequence;
  LoadItemFormats(st.localItems, {local});
  MessagePlan plan;
  plan.Prepare(st);
  return plan.items[1];
}

TEST(CompiledValueRules, AgreeWithTheGeneralEditingOnFieldsOfEveryShape) {
  struct Shape {
    std::string attribute;
    int ediLength, ediDecimals, localLength, localDecimals;
  };
  const std::vector<Shape> shapes = {
      {"9", 5, 0, 5, 0}, {"9", 3, 0, 7, 0}, {"N", 9, 2, 7, 2}, {"N", 4, 3, 6, 0}, {"N", 20, 0, 19, 0},
      {"N", 9, 0, 5, 1}, {"N", 5, 19, 4, 0}, {"Y", 8, 0, 8, 0}, {"Y", 8, 0, 6, 0}, {"Y", 3, 0, 6, 0},
      {"Y", 0, 0, 6, 0}, {"Y", 22, 0, 20, 0}, {"K", 8, 0, 8, 0}, {"K", 3, 0, 8, 0}, {"K", 5, 0, 12, 0},
      {"K", 1, 0, 4, 0}, {"K", 0, 0, 6, 0}, {"X", 6, 0, 6, 0},
      {"B", 4, 0, 4, 0}, {"Q", 4, 0, 4, 0}};
  const std::vector<std::string> edges = {
      "", " ", "      ", "00000", "00100", "12.50", "0000.00", ".", "5.", ".05", "1.2.3", " 12", "12 ", "-12",
      "+7", "12x4", "991231", "501231", "511231", "000000", "20000000", "00000000", "0315",
      "123456789012345678", "1234567890123456789", "\x82\x50\x82\x51", "\x8a\xbf\x8e\x9a", " ab c "};
  std::mt19937 rng(27);
  const std::string alphabet = "0123456789000 .-+x";
  std::vector<std::string> fields = edges;
  for (int n = 0; n < 4000; ++n) {
    std::string f;
    const int len = static_cast<int>(rng() % 22);
    for (int k = 0; k < len; ++k) f += alphabet[rng() % alphabet.size()];
    fields.push_back(f);
  }
  // Kanji fields: double-byte characters (a full-width space among them), half-width kana,
  // ASCII and spaces in any order, some ending in a lone lead byte.
  const std::vector<std::string> pieces = {"\x82\xa0", "\x8a\xbf", "\xe0\x40", "\x81\x40", " ", "\xb1", "a", "\x82"};
  for (int n = 0; n < 1500; ++n) {
    std::string f;
    const int count = static_cast<int>(rng() % 9);
    for (int k = 0; k < count; ++k) f += pieces[rng() % (n % 3 == 0 ? pieces.size() : 5)];
    fields.push_back(f);
  }
  std::string out;
  for (const Shape& s : shapes) {
    const ItemFormat e = Item(1, 0, 0, 1, "", s.attribute, s.ediLength, s.ediDecimals);
    const ItemFormat l = Item(1, 1, 0, 0, "1", s.attribute, s.localLength, s.localDecimals);
    const ItemPlan step = StepOf(e, l);
    for (const std::string& field : fields)
      for (char code16 : {'M', 'S', 'U', ' '}) {
        const std::string got(EditItemValue(step, e, l, field, code16, out));
        ASSERT_EQ(got, EditValueForEdi(e, l, field, code16))
            << s.attribute << " " << s.ediLength << "," << s.ediDecimals << " / " << s.localLength << ","
            << s.localDecimals << " field \"" << field << "\" code " << code16;
      }
  }
}

class CompiledReading : public Engine {};

// Messages written under wide local fields are read back under narrow ones (and the other
// way round): the values are cut, padded and right-aligned in the line exactly as the
// general conversion makes them.
TEST_F(CompiledReading, ValuesAreCutAndPaddedInPlaceAsTheGeneralConversionMakesThem) {
  const std::vector<ItemFormat> edi = {
      Item(1, 1, 0, 1, "", "X", 12), Item(2, 2, 0, 2, "", "9", 9), Item(3, 3, 0, 3, "", "B", 6),
      Item(4, 4, 0, 4, "", "M", 0, 0, "1", 3), Item(5, 5, 1, 5, "", "X", 8), Item(6, 6, 1, 6, "", "N", 7),
      Item(7, 7, 0, 7, "", "X", 4)};
  const auto localTable = [](int text, int count, int binary, int member, int amount, int last) {
    const int groupAt = 1 + text + count + binary;
    const int repetition = member + amount;
    return std::vector<ItemFormat>{
        Item(1, 1, 0, 0, "1", "X", text), Item(2, 2, 0, 0, std::to_string(1 + text), "9", count),
        Item(3, 3, 0, 0, std::to_string(1 + text + count), "X", binary),
        Item(4, 4, 0, 0, std::to_string(groupAt), "M", 0, 0, "1", 3),
        Item(5, 5, 1, 0, std::to_string(groupAt), "X", member),
        Item(6, 6, 1, 0, std::to_string(groupAt + member), "9", amount),
        Item(7, 7, 0, 0, std::to_string(groupAt + 3 * repetition), "X", last)};
  };
  // Wide fields: a kanji that the narrow text field cuts in half, counts with more digits
  // than the narrow field holds, short values that the wide reading pads.
  Format(edi, localTable(12, 9, 6, 8, 7, 4));
  const std::vector<std::string> lines = {
      "ABC\x8a\xbf\x8e\x9a" "DEFGH" "123456789" "bin\x82\xa0 " "M1\x82\xa0xyzw" "0001234" "M2      " "0000000"
      "        " "9999999" "END ",
      "x           " "000000007" "      " "        " "0000000" "m\x82\xa0     " "0000012" "m3      " "0000003"
      "    "};
  Write(lines, "wide.cii");
  ASSERT_EQ(log.resultCode(), "") << Log();
  for (const auto& narrow : {localTable(4, 3, 2, 2, 2, 2), localTable(15, 11, 9, 10, 9, 6)}) {
    masters.SetItems('L', "0101", "ABCD0101", narrow);
    state = TranslationState{};
    const std::string name = "back" + std::to_string(narrow[0].length);
    Read(dir / "wide.cii", dir / (name + ".loc"));
    ASSERT_EQ(log.resultCode(), "") << Log();
    const std::string back = edi::test::ReadBytes(dir / (name + "0101.loc"));
    ASSERT_EQ(back.size(), 2 * (39 + 2 + static_cast<std::size_t>(narrow[0].length + narrow[1].length +
                                                                 narrow[2].length +
                                                                 3 * (narrow[4].length + narrow[5].length) +
                                                                 narrow[6].length)));
    const std::size_t lineBytes = back.size() / 2;
    for (int n = 0; n < 2; ++n) {
      const std::string got = back.substr(static_cast<std::size_t>(n) * lineBytes + 39, lineBytes - 41);
      // Each value of the written line as the general conversion makes it for its narrow field.
      const std::string& line = lines[static_cast<std::size_t>(n)];
      const auto wideAt = [&](int pos, int len) { return line.substr(static_cast<std::size_t>(pos), static_cast<std::size_t>(len)); };
      std::string expected(got.size(), ' ');
      bool unsupported = false;
      const auto place = [&](std::size_t item, long long position, std::string_view written) {
        const std::string edited = EditValueForEdi(edi[item], localTable(12, 9, 6, 8, 7, 4)[item], written, 'M');
        std::string value = ConvertEdiValueToLocal(edited, edi[item], narrow[item], 'M', unsupported);
        // (No element for an empty value: the line keeps its empty field, which is what the
        // conversion makes of no bytes for these attributes.)
        expected.replace(static_cast<std::size_t>(position - 1), value.size(), value);
      };
      const long long groupAt = narrow[3].positionNumber();
      const long long repetition = narrow[4].length + narrow[5].length;
      place(0, 1, wideAt(0, 12));
      place(1, narrow[1].positionNumber(), wideAt(12, 9));
      place(2, narrow[2].positionNumber(), wideAt(21, 6));
      for (int r = 0; r < 3; ++r) {
        place(4, groupAt + r * repetition, wideAt(27 + r * 15, 8));
        place(5, groupAt + r * repetition + narrow[4].length, wideAt(35 + r * 15, 7));
      }
      place(6, narrow[6].positionNumber(), wideAt(72, 4));
      EXPECT_EQ(got, expected) << "line " << n << " under local width " << narrow[0].length;
    }
  }
}

}  // namespace
}  // namespace edi::cii::test
