#include "app/text.h"

#include "app/cp932_decoder.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace edi {
namespace {

TEST(AnsiTextTest, ByteLengthsAndRoundTrips) {
  EXPECT_EQ(AnsiByteLength("ABC"), 3);
  EXPECT_EQ(AnsiByteLength("漢字か"), 6);
  EXPECT_EQ(AnsiByteLength("ｱｲｳ"), 3);  // half-width katakana are single bytes
  // Characters that CP932 cannot hold count two bytes each.
  EXPECT_FALSE(IsAnsiRepresentable("😀é"));
  EXPECT_EQ(AnsiByteLength("😀é"), 4);
  // The Windows forms of the wave dash, minus sign and circled digits survive (CP932, not SHIFT_JIS).
  for (const char* s : {"～", "－", "①", "\\", "~"}) {
    EXPECT_TRUE(IsAnsiRepresentable(s)) << s;
    EXPECT_EQ(FromAnsiBytes(ToAnsiBytes(s)), s);
  }
  EXPECT_EQ(ToAnsiBytes("\\"), "\x5C");
}

TEST(AnsiTextTest, BrokenBytesAreReplacedNotDropped) {
  EXPECT_EQ(FromAnsiBytes("A\x88"), "A\xEF\xBF\xBD");  // a lone lead byte at the end
  EXPECT_FALSE(IsValidAnsiBytes("A\x88"));
  EXPECT_TRUE(IsValidAnsiBytes("\x88\x9F"));
  EXPECT_EQ(ToAnsiBytes("a😀b"), "a?b");
}

// The codec a conversion loop keeps gives what the one-off functions give, text after text:
// nothing of one conversion (a refused character, a cut lead byte) carries into the next.
TEST(AnsiTextTest, KeptCodecMatchesOneOffConversions) {
  AnsiCodec codec;
  const std::string texts[] = {"ABC", "漢字ｱ～①", "a😀b", "", "é", "末尾の漢"};
  for (int round = 0; round < 2; ++round)
    for (const std::string& t : texts) {
      EXPECT_EQ(codec.ToAnsi(t), ToAnsiBytes(t)) << t;
      EXPECT_EQ(codec.Representable(t), IsAnsiRepresentable(t)) << t;
      const std::string bytes = ToAnsiBytes(t);
      EXPECT_EQ(codec.FromAnsi(bytes), FromAnsiBytes(bytes)) << t;
      const std::string cut = bytes + "\x88";  // a lone lead byte at the end
      EXPECT_EQ(codec.FromAnsi(cut), FromAnsiBytes(cut)) << t;
    }
}

TEST(TextHelpersTest, NulTrimmingAndDefaults) {
  EXPECT_EQ(TrimAtNul(std::string("abc\0def", 7)), "abc");
  EXPECT_EQ(TrimAtNul("abc"), "");
  EXPECT_EQ(TrimOrDefault(std::nullopt, "x"), "x");
  EXPECT_EQ(TrimOrDefault(std::string("  a b  "), "x"), "a b");
  EXPECT_EQ(ValueOrDefault(std::string("  a "), "x"), "  a ");
  EXPECT_EQ(ValueOrDefault(std::nullopt, "0"), "0");
}

TEST(TextHelpersTest, CenterCodeFields) {
  EXPECT_EQ(PadCenterCode("AB C"), "AB_C________");
  EXPECT_EQ(PadCenterCode("CENTER01"), "CENTER01____");
  EXPECT_EQ(CenterField12("CENTER01"), "CENTER01____");
  EXPECT_EQ(CenterField12("ABCDEFGHIJKLMN"), "ABCDEFGHIJKL");
  EXPECT_TRUE(IsSafeCenterCode("CENTER01"));
  EXPECT_FALSE(IsSafeCenterCode("../etc"));
  EXPECT_FALSE(IsSafeCenterCode("a/b"));
  EXPECT_FALSE(IsSafeCenterCode("ABCDEFGHIJKLM"));
  EXPECT_EQ(SerialField(123), "00000123");
  EXPECT_EQ(SerialField(100000000), "100000000");
}

TEST(TextHelpersTest, PatternsAreCaseInsensitiveSearches) {
  EXPECT_TRUE(MatchesPattern("snd_.*\\.cii", "00000001_SND_C1.CII"));
  EXPECT_FALSE(MatchesPattern("^X", "aX"));
  EXPECT_FALSE(MatchesPattern("(", "("));  // a malformed pattern matches nothing
}

TEST(MoveFileTest, MovesReportsMissingAndErrors) {
  test::TempDir dir;
  EXPECT_EQ(MoveFile(dir / "missing", dir / "target"), 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "target"));
  test::WriteBytes(dir / "a", "data");
  EXPECT_EQ(MoveFile(dir / "a", dir / "b"), 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "a"));
  EXPECT_EQ(test::ReadBytes(dir / "b"), "data");
  EXPECT_EQ(MoveFile(dir / "b", dir / "no-such-folder" / "c"), 9);
  EXPECT_TRUE(std::filesystem::exists(dir / "b"));  // nothing lost
}

// The table decoder gives the system converter's bytes for every character CP932 maps, fed
// whole or in pieces that cut characters in two, and stops where the converter would fail.
TEST(Cp932DecoderTest, DecodesLikeTheConverterInAnyPieces) {
  std::string text;
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      const std::string pair = {static_cast<char>(lead), static_cast<char>(trail)};
      if (!IsValidAnsiBytes(pair) || (lead >= 0xA0 && lead <= 0xDF)) continue;
      text += pair;
      if (trail % 7 == 0) text += std::string(static_cast<std::size_t>(trail % 13), 'a');  // ASCII runs of all lengths
    }
  }
  for (int b = 0; b < 0x80; ++b) text += static_cast<char>(b);
  for (int b = 0xA1; b <= 0xDF; ++b) text += static_cast<char>(b);
  const std::string expected = FromAnsiBytes(text);
  ASSERT_EQ(expected.find("\xEF\xBF\xBD"), std::string::npos);
  for (std::size_t piece : {text.size(), std::size_t{1}, std::size_t{2}, std::size_t{7}, std::size_t{4093}}) {
    std::string out, kept;
    std::vector<char> buffer;
    for (std::size_t at = 0; at < text.size(); at += piece) {
      kept += text.substr(at, piece);
      buffer.resize(kept.size() * 3);
      std::size_t written = 0, consumed = 0;
      const auto r = Cp932Decoder::Decode(kept.data(), kept.size(), buffer.data(), written, consumed);
      ASSERT_NE(r, Cp932Decoder::Result::Invalid) << piece << " at " << at;
      out.append(buffer.data(), written);
      kept.erase(0, consumed);
    }
    EXPECT_TRUE(kept.empty());
    EXPECT_TRUE(out == expected) << "pieces of " << piece;
  }
  for (const std::string bad : {"abcdefghij\x85\x40", "abc\x82\x20", "\x80", "abcdefghijkl\xA0", "\xFD"}) {
    char buffer[64];
    std::size_t written = 0, consumed = 0;
    EXPECT_EQ(Cp932Decoder::Decode(bad.data(), bad.size(), buffer, written, consumed), Cp932Decoder::Result::Invalid);
    EXPECT_EQ(std::string(buffer, written), bad.substr(0, consumed));
    EXPECT_EQ(consumed, bad.find_first_of("\x80\x82\x85\xA0\xFD"));
  }
}

}  // namespace
}  // namespace edi
