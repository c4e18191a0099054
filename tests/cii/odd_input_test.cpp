// The writer and the readers on odd and hostile input: every kind of line end, fields whose
// edges cut a double-byte character, absurd repeat counts, codes that repeat per line, a log
// that cannot be written, and files that are not CII at all.
#include <climits>
#include <sstream>

#include "app/text.h"
#include "cii/dump.h"
#include "cii/message_writer.h"
#include "cii/sjis.h"
#include "cii_fixture.h"

namespace edi::cii::test {
namespace {

class OddInput : public Engine {
 protected:
  // An X item of 4 bytes at position 1 and a B item of 2 at position 5.
  void TwoFields(const std::string& code16 = "M") {
    Format({Item(1, 0, 0, 1, "", "X", 4), Item(2, 0, 0, 2, "", "K", 2), Item(3, 0, 0, 3, "", "B", 2)},
           {Item(1, 1, 0, 0, "1", "X", 4), Item(2, 2, 0, 0, "5", "K", 2), Item(3, 3, 0, 0, "7", "B", 2)},
           GroupInfo("ABCD0101", "M", code16));
  }
  std::string ConvertText(const std::string& text, const std::string& name) {
    edi::test::WriteBytes(dir / (name + ".loc"), text);
    return Convert(dir / (name + ".loc"), dir / (name + ".cii"));
  }
  static int Messages(const std::string& cii) {
    if (cii.size() < 251) return -1;
    return TrailerCount(std::string_view(cii).substr(cii.size() - 249)).value_or(-1);
  }
  // The TFD bytes of the first message (one block), through its 0xFE.
  static std::string Tfd(const std::string& cii) {
    const std::string block = FirstMessageBlock(cii);
    const int length = static_cast<unsigned char>(block[7]) * 256 + static_cast<unsigned char>(block[8]);
    return block.substr(9, static_cast<std::size_t>(length) - 8);  // through 0xFE
  }
  const std::string key_ = Key("0101", "OWN", "PART");
};

TEST_F(OddInput, EveryLineEndEndsALineAndALastCtrlZMarksTheEnd) {
  TwoFields();
  // Three records of an older exporter that ends lines with CR alone: three messages.
  EXPECT_EQ(Messages(ConvertText(key_ + "a\r" + key_ + "b\r" + key_ + "c\r", "cr")), 3);
  // LF alone, CR LF and CR mixed, the last line without an end.
  EXPECT_EQ(Messages(ConvertText(key_ + "a\n" + key_ + "b\r\n" + key_ + "c\r" + key_ + "d", "mixed")), 4);
  // A CR LF is one line end, not a line end and an empty line.
  EXPECT_EQ(Messages(ConvertText(key_ + "a\r\n\r\n" + key_ + "b\r\n", "crlf")), 2);
  // A Ctrl-Z as the file's last byte is no line of its own, and no byte of the last line.
  EXPECT_EQ(Messages(ConvertText(key_ + "a\r\n\x1a", "eof1")), 1);
  // (Left in the line, it would be the B field's first byte.)
  const std::string cii = ConvertText(key_ + "abcd  \x1a", "eof2");
  EXPECT_EQ(Messages(cii), 1);
  EXPECT_EQ(Tfd(cii), B({1, 4}) + "abcd" + B({3, 2}) + "  " + B({0xFE}));
  EXPECT_EQ(log.resultCode(), "");
  // A Ctrl-Z anywhere else is data: here a line of its own, which has no key.
  ConvertText(key_ + "a\r\n\x1a\r\n" + key_ + "b\r\n", "inner");
  EXPECT_EQ(log.resultCode(), "0025");
}

TEST_F(OddInput, FieldEdgesNeverWriteHalfACharacter) {
  const std::string kan = "\x8a\xbf";   // 漢: its trail byte is a letter
  const std::string ji = "\x8e\x9a";    // 字
  TwoFields();
  // 漢 straddles the X field's end: the value ends before it. The K field then starts with
  // its trail byte, which counts as a space.
  std::string cii = ConvertText(key_ + "abc" + kan + "x" + ji + "\r\n", "cut");
  EXPECT_EQ(Tfd(cii), B({1, 3}) + "abc" + B({2, 2}) + "\x82\x98" + B({3, 2}) + ji + B({0xFE}));
  // 字 straddles the K and B fields: K holds only halves (nothing is written), and B keeps
  // its width with a space for the trail byte.
  cii = ConvertText(key_ + "abc" + kan + ji + "z\r\n", "trail");
  EXPECT_EQ(Tfd(cii), B({1, 3}) + "abc" + B({3, 2}) + " z" + B({0xFE}));
  // A run of bytes that may be lead or trail bytes (亜 is 0x88 0x9F) is read from the line's
  // start: every edge inside a character is found.
  ShiftJisLine line;
  const std::string a3 = "\x88\x9f\x88\x9f\x88\x9f";
  line.Reset(a3);
  std::string scratch;
  EXPECT_EQ(line.Field(1, 2, scratch), "  ");
  EXPECT_EQ(line.Field(2, 2, scratch), "\x88\x9f");
  EXPECT_EQ(line.Field(3, 10, scratch), " \x88\x9f");
  EXPECT_EQ(line.Field(6, 2, scratch), "");
  std::string a100;
  for (int i = 0; i < 100; ++i) a100 += "\x88\x9f";  // longer than a run counted back
  line.Reset(a100);
  EXPECT_EQ(line.Field(151, 2, scratch), "  ");
  EXPECT_EQ(line.Field(150, 2, scratch), "\x88\x9f");
  // Under the 16-bit codes the cut K value still converts whole characters.
  for (std::string code : {"S", "U"}) {
    SCOPED_TRACE(code);
    TwoFields(code);
    cii = ConvertText(key_ + "abc" + kan + "x" + ji + "\r\n", "cut" + code);
    EXPECT_EQ(Tfd(cii), B({1, 3}) + "abc" + B({2, 2}) + ConvertDoubleByteCodes("\x82\x98", 'M', code[0]) +
                            B({3, 2}) + ji + B({0xFE}));
  }
  // Under JIS codes a control character that cannot be made full-width does not shift the
  // pairs: it becomes a full-width space.
  TwoFields("S");
  cii = ConvertText(key_ + "abcd\x01xzz\r\n", "control");
  EXPECT_EQ(Tfd(cii), B({1, 4}) + "abcd" + B({2, 2}) + "\x21\x21" + B({3, 2}) + "zz" + B({0xFE}));
}

TEST_F(OddInput, AbsurdRepeatCountsWriteTheSameBytesWithoutAWalk) {
  // A two-member group after a level-0 item (as in the writer's repetition tests).
  auto format = [&](int repeats) {
    Format({Item(1, 0, 0, 1, "", "X", 2), Item(2, 0, 0, 9, "", "M", 0, 0, "0", repeats), Item(3, 0, 1, 2, "", "X", 2),
            Item(4, 0, 1, 3, "", "N", 3)},
           {Item(1, 1, 0, 0, "1", "X", 2), Item(2, 2, 0, 0, "3", "M", 0, 0, "0", repeats), Item(3, 3, 1, 0, "3", "X", 2),
            Item(4, 4, 1, 0, "5", "N", 3)});
  };
  format(3);
  const std::string few = Tfd(Write({"k1a1001a2   "}, "few.cii"));
  EXPECT_EQ(few, B({1, 2}) + "k1" + B({0xFA, 2, 2}) + "a1" + B({3, 1}) + "1" + B({0xFB, 2, 2}) + "a2" + B({0xFC, 0xFE}));
  for (int repeats : {1000000, INT_MAX}) {
    SCOPED_TRACE(repeats);
    format(repeats);
    EXPECT_EQ(Tfd(Write({"k1a1001a2   "}, "r" + std::to_string(repeats) + ".cii")), few);
  }
  EXPECT_EQ(log.resultCode(), "");
  // A nested group is written in every repetition of its parent, so it cannot be skipped:
  // the message outgrows the format and stops with 0028 instead of running on.
  Format({Item(1, 0, 0, 9, "", "M", 0, 0, "0", INT_MAX), Item(2, 0, 1, 8, "", "M", 0, 0, "0", 2),
          Item(3, 0, 2, 1, "", "X", 1)},
         {Item(1, 1, 0, 0, "1", "M", 0, 0, "0", INT_MAX), Item(2, 2, 1, 0, "1", "M", 0, 0, "0", 2),
          Item(3, 3, 2, 0, "1", "X", 1)});
  EXPECT_EQ(Write({"ab"}, "nested.cii").size(), 251u);  // the header only
  EXPECT_EQ(log.resultCode(), "0028");
}

TEST_F(OddInput, CodesThatRepeatPerLineAreLoggedTenTimesAndCounted) {
  TwoFields();
  std::string text;
  for (int i = 0; i < 50; ++i) text += key_ + "ab\r\n";  // every line shorter than its items
  EXPECT_EQ(Messages(ConvertText(text, "short")), 50);
  log.EndRun();
  std::string expected;
  for (int i = 1; i <= 10; ++i) expected += "0026-" + std::to_string(i) + "\r\n";
  EXPECT_EQ(Log(), expected + ToAnsiBytes("0026-他40件") + "\r\n");
  EXPECT_EQ(log.resultCode(), "");
  // The next run counts afresh.
  log.ClearResult();
  ConvertText(key_ + "ab\r\n", "again");
  EXPECT_NE(Log().find("0026-1\r\n", expected.size()), std::string::npos);
}

TEST_F(OddInput, ALogThatCannotBeWrittenFailsTheRun) {
  TwoFields();
  TranslationLog lost(dir / "no-such-folder" / "ERR.LOG");
  TranslationContext ctx{masters, lost, state, FixedTime};
  lost.WriteTranslationLog(0, "--P114040 start--", false);
  edi::test::WriteBytes(dir / "in.loc", key_ + "abcd\r\n");
  ConvertLocalToCii(ctx, dir / "in.loc", dir / "out.cii");
  EXPECT_TRUE(lost.writeFailed());
  EXPECT_EQ(lost.resultCode(), "0036");
  // A later error still names itself.
  lost.WriteTranslationLog(kCodeNoFormat, "", false);
  EXPECT_EQ(lost.resultCode(), "0002");
}

TEST_F(OddInput, FilesThatAreNotCiiStopAtOnce) {
  TwoFields();
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "This is a letter, not an EDI file.\r\n";
  edi::test::WriteBytes(dir / "letter.cii", text);
  Read(dir / "letter.cii", dir / "out.loc");
  EXPECT_EQ(log.resultCode(), "0037");
  EXPECT_EQ(Log(), "0037\r\n");
  // A header, then a stretch of bytes longer than a block without a block start.
  log.ClearResult();
  const std::string good = Write({"abcd"}, "good.cii");
  edi::test::WriteBytes(dir / "junk.cii", good.substr(0, 251) + std::string(300, 'x') + good.substr(251));
  Read(dir / "junk.cii", dir / "junk.loc");
  EXPECT_EQ(log.resultCode(), "0037");
  // One stray block lead is still only logged, and the messages after it are read.
  log.ClearResult();
  edi::test::WriteBytes(dir / "stray.cii", good.substr(0, 251) + "AB" + good.substr(251));
  Read(dir / "stray.cii", dir / "stray.loc");
  EXPECT_EQ(log.resultCode(), "");
  EXPECT_TRUE(std::filesystem::exists(dir / "stray0101.loc"));
  // The listing says so too.
  std::istringstream letter(text);
  std::ostringstream listing;
  EXPECT_FALSE(DumpCiiFile(letter, listing));
  EXPECT_EQ(listing.str(), "破損: CII ファイルではありません (ブロック 1)\n");
}

TEST_F(OddInput, ListingOfDeepGroupsStaysProportionalToTheFile) {
  TwoFields();
  const std::string header = Write({"abcd"}, "h.cii").substr(0, 251);
  std::ostringstream blocks;
  const std::string tfd = std::string(20000, '\xFA') + std::string(20000, '\xFB');
  WriteMessageBlocks(blocks, BuildMessageStream(1, tfd), 'M');
  const std::string file = header + blocks.str();
  std::istringstream in(file);
  std::ostringstream out;
  DumpCiiFile(in, out);
  EXPECT_LT(out.str().size(), 100 * file.size());
  std::istringstream lines(out.str());
  std::string line;
  int longest = 0;  // in characters: the notes are in the operator's language
  while (std::getline(lines, line)) longest = std::max(longest, Utf8Length(line));
  EXPECT_LT(longest, 80);
}

}  // namespace
}  // namespace edi::cii::test
