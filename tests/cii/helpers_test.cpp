// The engine's building blocks: Shift_JIS byte helpers, code conversions, item tables and
// their group lengths, field editing by attribute, the block reader and the log.
#include <sstream>

#include "app/text.h"
#include "cii/block_reader.h"
#include "cii/field_conversion.h"
#include "cii/format.h"
#include "cii/item_table.h"
#include "cii/message_writer.h"
#include "cii/sjis.h"
#include "cii_fixture.h"

namespace edi::cii::test {
namespace {

const std::string kKan = "\x8a\xbf";  // 漢
const std::string kJi = "\x8e\x9a";   // 字

TEST(Sjis, FieldsAndCutsNeverSplitACharacter) {
  EXPECT_EQ(StoreTextInByteField(5, "AB").bytes, "AB   ");
  EXPECT_EQ(StoreTextInByteField(5, "AB").flags, 1);
  EXPECT_EQ(StoreTextInByteField(5, kKan + "A").bytes, kKan + "A  ");
  EXPECT_EQ(StoreTextInByteField(5, kKan + "A").flags, 3);
  EXPECT_EQ(StoreTextInByteField(4, "ABCDEFG").bytes, "ABCD");
  EXPECT_EQ(StoreTextInByteField(3, "A" + kKan + kJi).bytes, "A" + kKan);
  EXPECT_EQ(StoreTextInByteField(2, "A" + kKan).bytes, "A ");  // the trail byte would not fit
  EXPECT_EQ(MidBytes("AB" + kKan + kJi, 3, 2), kKan);
  EXPECT_EQ(MidBytes("AB", 0, 2), "");
  EXPECT_EQ(MidBytes("AB", 5, 2), "");
  EXPECT_EQ(LeftBytesWhole("AB" + kKan + kJi, 5), "AB" + kKan);
  EXPECT_TRUE(IsWellFormedShiftJis("A" + kKan + "\xb1"));
  EXPECT_FALSE(IsWellFormedShiftJis("A\x8a"));
  EXPECT_FALSE(IsWellFormedShiftJis("\x80"));
}

TEST(Sjis, FullWidthAndTwoByteCodes) {
  EXPECT_EQ(ToFullWidth("AB 1"), ToAnsiBytes("ＡＢ　１"));
  EXPECT_EQ(ToFullWidth("\xb6\xde\xca\xdf\xb1"), ToAnsiBytes("ガパア"));  // ｶﾞﾊﾟｱ
  EXPECT_EQ(ToFullWidth("~\\" + kKan), ToAnsiBytes("～＼漢"));
  EXPECT_EQ(JisToShiftJis("\x30\x21"), "\x88\x9f");
  EXPECT_EQ(ShiftJisToJis("\x88\x9f"), "\x30\x21");
  EXPECT_EQ(ShiftJisToUcs2(kKan), "\x6f\x22");
  EXPECT_EQ(Ucs2ToShiftJis("\x6f\x22"), kKan);
  // Every double-byte character survives Shift_JIS → JIS → Shift_JIS, the extensions too.
  for (int lead : {0x81, 0x88, 0x9f, 0xe0, 0xea, 0xed, 0xfa, 0xfc})
    for (int trail = 0x40; trail <= 0xfc; ++trail) {
      if (trail == 0x7f) continue;
      std::string c = B({lead, trail});
      ASSERT_EQ(JisToShiftJis(ShiftJisToJis(c)), c) << lead << " " << trail;
    }
}

TEST(ItemTables, GroupLengthsAndLookUps) {
  ItemTable t;
  // A group holding a 7-digit number with 2 decimals (8 bytes) and a group of 5 + 3 bytes × 4.
  ASSERT_FALSE(LoadItemFormats(t, {Item(1, 0, 0, 9, "", "M", 0), Item(2, 0, 1, 1, "", "N", 7, 2),
                                   Item(3, 0, 1, 8, "", "M", 0, 0, "0", 4), Item(4, 0, 2, 2, "", "X", 5),
                                   Item(5, 0, 2, 3, "", "X", 3), Item(6, 0, 0, 4, "", "X", 2)}));
  EXPECT_EQ(t[3].length, 8);
  EXPECT_EQ(t[1].length, 8 + 32);
  ASSERT_FALSE(LoadItemFormats(t, {Item(1, 0, 0, 9, "", "M", 0), Item(2, 0, 1, 8, "", "M", 0, 0, "0", 0),
                                   Item(3, 0, 2, 2, "", "X", 5), Item(4, 0, 2, 3, "", "X", 3)}));
  EXPECT_EQ(t[1].length, 8);  // a repeat count of 0 counts once
  // FindEdiItem stops at the first lower level even if a match follows.
  std::size_t pos = 3;
  EXPECT_FALSE(FindEdiItem(t, pos, 2, 2) && pos != 3);
  pos = 4;
  ItemTable u;
  ASSERT_FALSE(LoadItemFormats(u, {Item(1, 0, 0, 9, "", "M", 0), Item(2, 0, 1, 5, "", "X", 1),
                                   Item(3, 0, 0, 6, "", "X", 1), Item(4, 0, 1, 5, "", "X", 1)}));
  pos = 2;
  EXPECT_TRUE(FindEdiItem(u, pos, 5, 1));
  EXPECT_EQ(pos, 2u);
  pos = 3;
  EXPECT_FALSE(FindEdiItem(u, pos, 5, 1));
  EXPECT_EQ(FindLocalItemBySequence(ItemTable{}, 1), 0u);
  // Ordering faults are refused instead of read outside the table.
  EXPECT_TRUE(LoadItemFormats(u, {Item(1, 0, 1, 1, "", "X", 1)}));
  EXPECT_TRUE(LoadItemFormats(u, {Item(1, 0, 0, 9, "", "M", 0), Item(2, 0, 2, 1, "", "X", 1)}));
  EXPECT_TRUE(u.empty());
}

TEST(ItemTables, GroupsAreFoundByWhatTheWriterWrote) {
  ItemTable t;
  ASSERT_FALSE(LoadItemFormats(t, {Item(1, 0, 0, 9, "", "M", 0, 0, "3"), Item(2, 0, 1, 1, "", "X", 1),
                                   Item(3, 0, 0, 8, "", "M", 0, 0, "A"), Item(4, 0, 1, 1, "", "X", 1),
                                   Item(5, 0, 0, 7, "", "M", 0, 0, "300"), Item(6, 0, 1, 1, "", "X", 1)}));
  for (auto [mdn, index] : {std::pair<std::string, std::size_t>{"3", 1}, {"A", 3}, {"300", 5}}) {
    std::string tfd;
    bool extended = true;
    ASSERT_EQ(AppendGroupStart(tfd, mdn, extended), GroupStartResult::Ok);
    MultiDetailCode code{static_cast<unsigned char>(tfd.end()[-3]) == kGroupStart16,
                         static_cast<unsigned char>(tfd.back())};
    if (code.twoByte) code.value = 300;
    std::size_t pos = 0;
    EXPECT_TRUE(FindEdiGroup(t, pos, 0, &code));
    EXPECT_EQ(pos, index) << mdn;
  }
  std::string tfd;
  bool extended = true;
  EXPECT_EQ(AppendGroupStart(tfd, "5X", extended), GroupStartResult::BadMultiDetail);
  EXPECT_EQ(tfd, "");
}

TEST(FieldRules, NumbersDatesTextsAndKanji) {
  EXPECT_EQ(EditForEdi("N", 9, 2, 7, 2, "00012.50"), "1250");
  EXPECT_EQ(EditForEdi("9", 9, 0, 4, 1, "-3.5"), "-4");
  EXPECT_EQ(EditForEdi("N", 9, 2, 7, 2, "    "), "");
  EXPECT_EQ(EditForEdi("N", 9, 2, 4, 2, "0.00"), "");
  EXPECT_EQ(EditForEdi("9", 4, 0, 6, 0, "123456"), "3456");
  EXPECT_EQ(EditForEdi("9", 9, 0, 9, 0, " 1 2 3x9"), "123");
  EXPECT_EQ(EditForEdi("Y", 8, 0, 6, 0, "020315"), "20020315");
  EXPECT_EQ(EditForEdi("Y", 8, 0, 6, 0, "991231"), "19991231");
  EXPECT_EQ(EditForEdi("Y", 8, 0, 6, 0, "000000"), "");
  EXPECT_EQ(EditForEdi("Y", 8, 0, 6, 0, "      "), "");  // no century before a blank date
  EXPECT_EQ(EditForEdi("Y", 8, 0, 8, 0, "00000000"), "");
  EXPECT_EQ(EditForEdi("K", 6, 0, 5, 0, "ABC  "), ToAnsiBytes("ＡＢＣ"));
  EXPECT_EQ(EditForEdi("K", 5, 0, 5, 0, "ABC"), ToAnsiBytes("ＡＢ"));  // cut at a character boundary
  EXPECT_EQ(EditForEdi("X", 2, 0, 6, 0, "  AB  "), "AB");
  EXPECT_EQ(EditForEdi("X", 2, 0, 6, 0, "      "), "");
  EXPECT_EQ(EditForEdi("B", 4, 0, 4, 0, " A"), " A  ");
  EXPECT_EQ(EditForEdi("Q", 4, 0, 4, 0, "AAAA"), "");
}

TEST(FieldRules, ReaderValuesForTheLocalSide) {
  bool unsupported = false;
  auto read = [&](const std::string& pair, int len, int dec, int localLen, int localDec, const std::string& v) {
    return ConvertEdiValueToLocal(v, Item(1, 1, 0, 1, "", pair.substr(0, 1), len, dec),
                                  Item(1, 1, 0, 0, "1", pair.substr(1, 1), localLen, localDec), 'M', unsupported);
  };
  EXPECT_EQ(read("9N", 9, 0, 7, 0, "1250"), "0001250");
  EXPECT_EQ(read("NN", 9, 2, 7, 2, "1250"), "00012.50");
  EXPECT_EQ(read("99", 9, 2, 7, 0, "1250"), "0000012");
  EXPECT_EQ(read("9N", 9, 0, 4, 0, "-4"), "-004");
  EXPECT_EQ(read("YY", 6, 0, 8, 0, "020315"), "20020315");
  EXPECT_EQ(read("YY", 8, 0, 6, 0, "20020315"), "020315");
  EXPECT_EQ(read("XX", 3, 0, 5, 0, "AB"), "AB   ");
  EXPECT_EQ(read("KK", 4, 0, 5, 0, kKan), kKan + "\x81\x40 ");
  EXPECT_FALSE(unsupported);
  EXPECT_EQ(read("KX", 4, 0, 5, 0, kKan), "");
  EXPECT_TRUE(unsupported);
}

TEST(Blocks, ReaderCrossesBlockBoundaries) {
  edi::test::TempDir dir;
  TranslationLog log(dir / "ERR.LOG");
  std::string data = B({0xF2, 0x01, 0x2C}) + std::string(247, 'a') + "9" + "bcd";
  std::istringstream in(data);
  CiiBlockReader r(in, log);
  r.SetStorageMode('M');
  r.SetBytesLeft(250);
  long long remaining = 10;
  EXPECT_EQ(r.ReadCiiLength(remaining), std::optional<std::size_t>(300));
  EXPECT_EQ(remaining, 7);
  std::string bytes;
  ASSERT_TRUE(r.ReadCiiBytes(bytes, 247));
  EXPECT_EQ(r.ReadCiiByte(), std::optional<unsigned char>('b'));  // the lead "9" is dropped
  EXPECT_EQ(r.bytesLeft(), 249);
  std::istringstream bad(B({0xF5}));
  CiiBlockReader r2(bad, log);
  r2.SetBytesLeft(5);
  EXPECT_EQ(r2.ReadCiiLength(remaining), std::optional<std::size_t>(0));
  EXPECT_EQ(edi::test::ReadBytes(dir / "ERR.LOG"), "0009\r\n");
  EXPECT_EQ(log.resultCode(), "");
}

TEST(Blocks, MessageStreamForms) {
  std::string tfd(30, 'x');
  std::string stream = BuildMessageStream(1, tfd);
  EXPECT_EQ(stream, "9D00001" + B({0x00, 0x27}) + tfd + B({0xFE}));
  std::ostringstream out;
  EXPECT_TRUE(WriteMessageBlocks(out, stream, 'M'));
  EXPECT_EQ(out.str(), stream + std::string(211, ' '));
  std::ostringstream none;
  EXPECT_FALSE(WriteMessageBlocks(none, stream, 'Q'));
  EXPECT_EQ(none.str(), "");
  std::string tags;
  EXPECT_TRUE(AppendTag(tags, 0x12345, true));
  EXPECT_TRUE(AppendTag(tags, 300, true));
  EXPECT_FALSE(AppendTag(tags, 240, false));
  EXPECT_FALSE(AppendTag(tags, 0xF000, true));
  EXPECT_TRUE(AppendLength(tags, 300));
  EXPECT_TRUE(AppendLength(tags, 239));
  EXPECT_EQ(tags, B({0xF1, 0x23, 0x45, 0x01, 0x2C, 0xF2, 0x01, 0x2C, 0xEF}));
}

TEST(Log, LinesAndTheRunsResultCode) {
  edi::test::TempDir dir;
  TranslationLog log(dir / "ERR.LOG");
  log.WriteTranslationLog(0, StartMessage("P114040", 123, "2026/02/03 04:05:06"), false);
  log.WriteTranslationLog(1, "", false);
  log.WriteTranslationLog(8, "-02", true);
  log.WriteTranslationLog(0, "x", false);
  log.WriteTranslationLog(12, "長さ違い", true);
  EXPECT_EQ(log.resultCode(), "0001");
  EXPECT_EQ(edi::test::ReadBytes(dir / "ERR.LOG"), "0000--P114040 start--00000123  2026/02/03 04:05:06\r\n"
                                                   "0001\r\n0008-02\r\n0000x\r\n0012" + ToAnsiBytes("長さ違い") + "\r\n");
  TranslationLog nowhere(dir / "missing-folder" / "ERR.LOG");
  nowhere.WriteTranslationLog(3, "", false);  // an unwritable log does not stop the translation
  EXPECT_TRUE(nowhere.writeFailed());
  EXPECT_EQ(nowhere.resultCode(), "0003");
}

}  // namespace
}  // namespace edi::cii::test
