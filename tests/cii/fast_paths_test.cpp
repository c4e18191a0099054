// The writer's and the readers' quick paths against the general ones they stand in for:
// numbers on a machine integer, messages written without building their stream, buffered
// line and block reading, and item tables kept while a file's groups change format.
#include <random>
#include <sstream>

#include "cii/block_reader.h"
#include "cii/field_conversion.h"
#include "cii/line_reader.h"
#include "cii/message_writer.h"
#include "cii_fixture.h"

namespace edi::cii::test {
namespace {

std::string Small(std::string_view text, int shift, bool& taken) {
  char buffer[24];
  std::string_view v = ScaleAndFloorSmall(text, shift, buffer);
  taken = !v.empty();
  return std::string(v);
}

TEST(FastNumbers, AgreeWithTheGeneralReading) {
  const std::vector<std::string> edges = {
      "", " ", "0", "-0", "+0", "0.000", "-0.000", "-0000.0001", "-9.5", "-99.1", "-999.9", "9.99", "12.50",
      "00012.50", " 1 2 3x9", "- 5", "+-3", "--5", "1.2.3", ".", "-.", ".5", "-.5", "5.", "12x34",
      "\x82\x50\x82\x51",  // full-width digits are not digits: the reading stops there
      "999999999999999999", "-999999999999999999.9", "1000000000000000000", "0000000000000000000001",
      "123456789012345678.123456789", "-0.000000000000000000001", "  -12.345  "};
  int fast = 0, total = 0;
  auto check = [&](const std::string& text, int shift) {
    bool taken = false;
    std::string got = Small(text, shift, taken);
    ++total;
    if (!taken) return;  // too long for the quick path: the caller takes the general one
    ++fast;
    ASSERT_EQ(got, ScaleAndFloor(ParseDecimal(text), shift)) << "\"" << text << "\" shift " << shift;
  };
  for (const auto& e : edges)
    for (int shift = -20; shift <= 20; ++shift) check(e, shift);
  // Random texts of digits, signs, points, spaces and letters.
  std::mt19937 rng(7);
  const std::string alphabet = "0123456789000999 -+.x";
  for (int n = 0; n < 20000; ++n) {
    std::string text;
    const int len = static_cast<int>(rng() % 24);
    for (int k = 0; k < len; ++k) text += alphabet[rng() % alphabet.size()];
    check(text, static_cast<int>(rng() % 13) - 4);
  }
  EXPECT_GT(fast, total * 9 / 10);  // the quick path takes the ordinary values
}

TEST(FastNumbers, EditingKeepsTheGeneralResultOnEdgeValues) {
  EXPECT_EQ(EditForEdi("N", 9, 0, 10, 0, "-0000.0001"), "-1");
  EXPECT_EQ(EditForEdi("N", 9, 0, 4, 1, "-9.5"), "-10");
  EXPECT_EQ(EditForEdi("N", 2, 0, 5, 1, "-99.1"), "");  // -100 keeps "00": read as 0, left out
  EXPECT_EQ(EditForEdi("N", 4, 2, 9, 3, "12.3456"), "1234");  // decimals beyond the scale are cut
  EXPECT_EQ(EditForEdi("N", 9, 2, 9, 3, "-12.3451"), "-1235");
  EXPECT_EQ(EditForEdi("9", 9, 0, 4, 0, "\x82\x50\x82\x51"), "");  // full-width digits are not read
  EXPECT_EQ(EditForEdi("9", 20, 0, 20, 0, "12345678901234567890"), "12345678901234567890");  // general path
  EXPECT_EQ(EditForEdi("9", 4, 0, 20, 0, "-12345678901234567890"), "7890");
  EXPECT_EQ(EditForEdi("N", 20, 3, 19, 0, "1234567890123456789"), "34567890123456789000");
  EXPECT_EQ(EditForEdi("Y", 8, 0, 6, 0, "  0315"), "315");
  EXPECT_EQ(EditForEdi("Y", 3, 0, 6, 0, "991231"), "231");
  bool unsupported = false;
  auto read = [&](const std::string& pair, int len, int dec, int localLen, int localDec, const std::string& v) {
    return ConvertEdiValueToLocal(v, Item(1, 1, 0, 1, "", pair.substr(0, 1), len, dec),
                                  Item(1, 1, 0, 0, "1", pair.substr(1, 1), localLen, localDec), 'M', unsupported);
  };
  EXPECT_EQ(read("NN", 9, 3, 5, 0, "-1001"), "-0002");
  EXPECT_EQ(read("NN", 9, 0, 6, 2, "-5"), "-005.00");
  EXPECT_EQ(read("NN", 25, 0, 22, 1, "1234567890123456789012"), "234567890123456789012.0");  // general path
  EXPECT_EQ(read("NN", 9, 0, 3, 5, "7"), ".00000");  // the digits that fit, then the point
}

TEST(FastMessages, SameBytesAsTheBuiltStream) {
  for (char mode : {'M', ' ', 'S'})
    for (std::size_t size : {0u, 1u, 240u, 241u, 242u, 491u, 492u, 32000u, 32759u, 32760u, 70000u}) {
      std::string tfd(size, 'a');
      for (std::size_t k = 0; k < size; ++k) tfd[k] = static_cast<char>('a' + k % 26);
      std::ostringstream expected, got;
      ASSERT_TRUE(WriteMessageBlocks(expected, BuildMessageStream(12, tfd), mode));
      ASSERT_EQ(WriteMessage(got, 12, tfd, mode), MessageWriteResult::Ok);
      ASSERT_EQ(got.str(), expected.str()) << mode << " " << size;
    }
  std::ostringstream none;
  EXPECT_EQ(WriteMessage(none, 1, "x", 'Q'), MessageWriteResult::BadStorageMode);
  EXPECT_EQ(none.str(), "");
}

TEST(FastReading, LinesAcrossChunks) {
  // Line ends just before, on and after the reader's 64 KiB chunks, a CR LF split by one.
  const std::string a(65535, 'a'), b(70000, 'b'), c(3, 'c');
  std::istringstream in(a + "\r\n" + b + "\n" + c + "\r\n\r\n" + "last");
  LineReader r(in, 100000);
  std::string line;
  std::vector<std::string> got;
  while (r.Next(line) == LineReader::Result::Line) got.push_back(line);
  EXPECT_EQ(got, (std::vector<std::string>{a, b, c, "", "last"}));
  std::istringstream tooLong(std::string(10, 'x') + "\r\n" + std::string(200000, 'y'));
  LineReader t(tooLong, 100000);
  EXPECT_EQ(t.Next(line), LineReader::Result::Line);
  EXPECT_EQ(t.Next(line), LineReader::Result::TooLong);
  std::istringstream exact(std::string(5, 'z') + "\r\n");
  LineReader e(exact, 5);  // the CR does not count against the bound
  EXPECT_EQ(e.Next(line), LineReader::Result::Line);
  EXPECT_EQ(line, "zzzzz");
  EXPECT_EQ(e.Next(line), LineReader::Result::End);
}

TEST(FastReading, BlocksAcrossChunks) {
  // Three 32001-byte blocks: the lead digits are dropped, the data bytes join up.
  std::string data, file;
  for (int block = 0; block < 3; ++block) {
    file += static_cast<char>('1' + block);
    for (int k = 0; k < 32000; ++k) {
      char c = static_cast<char>('A' + (block * 7 + k) % 26);
      file += c;
      data += c;
    }
  }
  edi::test::TempDir dir;
  TranslationLog log(dir / "ERR.LOG");
  std::istringstream in(file);
  CiiBlockReader r(in, log);
  r.SetStorageMode('S');
  std::string lead, bytes;
  ASSERT_TRUE(r.ReadBytes(lead, 1));
  r.SetBytesLeft(32000);
  ASSERT_TRUE(r.ReadCiiBytes(bytes, 70000));
  EXPECT_EQ(bytes, data.substr(0, 70000));
  EXPECT_EQ(r.ReadCiiByte(), std::optional<unsigned char>(static_cast<unsigned char>(data[70000])));
  EXPECT_TRUE(r.SkipRestOfBlock());
  EXPECT_TRUE(r.atEnd());
  EXPECT_FALSE(r.ReadCiiBytes(bytes, 1));
  std::istringstream shortFile("abc");
  CiiBlockReader s(shortFile, log);
  EXPECT_FALSE(s.ReadBytes(bytes, 5));
  EXPECT_EQ(bytes, "abc");  // what was there is handed out
}

TEST(FastReading, LengthsAndValuesAcrossBlocksAndChunks) {
  // Elements of 1 to 400 bytes (one-byte and 0xF2 lengths) in 251-byte blocks, over several
  // 64 KB chunks: lengths and values that straddle a block or a chunk end read as whole ones.
  std::string data;
  std::vector<std::string> values;
  for (int k = 0; data.size() < 300000; ++k) {
    const std::size_t n = 1 + static_cast<std::size_t>(k * 37 % 400);
    if (n <= kMaxOneByteLength) {
      data += static_cast<char>(n);
    } else {
      data += static_cast<char>(kLength16);
      data += static_cast<char>(n >> 8);
      data += static_cast<char>(n & 0xFF);
    }
    std::string v;
    for (std::size_t i = 0; i < n; ++i) v += static_cast<char>('a' + (k + i) % 26);
    data += v;
    values.push_back(v);
  }
  std::string file;
  for (std::size_t at = 0; at < data.size(); at += 250) file += '1' + data.substr(at, 250);
  edi::test::TempDir dir;
  TranslationLog log(dir / "ERR.LOG");
  std::istringstream in(file);
  CiiBlockReader r(in, log);
  std::string lead, spill;
  ASSERT_TRUE(r.ReadBytes(lead, 1));
  r.SetBytesLeft(250);
  long long remaining = 0, expectedRemaining = 0;
  for (const std::string& v : values) {
    auto n = r.ReadCiiLength(remaining);
    ASSERT_TRUE(n);
    ASSERT_EQ(*n, v.size());
    expectedRemaining -= v.size() <= kMaxOneByteLength ? 1 : 3;
    ASSERT_EQ(remaining, expectedRemaining);
    std::string_view view;
    ASSERT_TRUE(r.ReadCiiView(view, spill, v.size()));
    ASSERT_EQ(view, v);
  }
  std::string_view view;
  EXPECT_FALSE(r.ReadCiiView(view, spill, 1));
}

class GroupChanges : public Engine {
 protected:
  // Format 0101 with a 5-byte text; format 0202 (partner OTHER) with a number, then a text.
  void TwoFormats() {
    Format({Item(1, 0, 0, 1, "", "X", 5)}, {Item(1, 1, 0, 0, "1", "X", 5)});
    masters.AddMessageGroup(Pad12("OTHER"), Pad12("OWN"), "0202", GroupInfo("EFGH0202"));
    masters.AddFormat("0202", "EFGH0202", FormatInfo{});
    masters.SetItems('E', "0202", "EFGH0202", {Item(1, 0, 0, 3, "", "9", 4), Item(2, 0, 0, 4, "", "X", 2)});
    masters.SetItems('L', "0202", "EFGH0202", {Item(1, 1, 0, 0, "1", "9", 4), Item(2, 2, 0, 0, "5", "X", 2)});
  }
  std::string Lines(const std::vector<std::string>& lines, const std::string& name) {
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    edi::test::WriteBytes(dir / (name + ".loc"), text);
    return Convert(dir / (name + ".loc"), dir / (name + ".cii"));
  }
};

TEST_F(GroupChanges, FormatsLoadOnceAndGiveTheBytesOfSeparateFiles) {
  TwoFormats();
  const std::string a = Key("0101", "OWN", "PART") + "HELLO", b = Key("0202", "OWN", "OTHER") + "0042XY";
  const std::string a2 = Key("0101", "OWN", "PART") + "WORLD";
  int before = masters.lookups;
  std::string mixed = Lines({a, b, a2, b, a}, "mixed");
  ASSERT_EQ(log.resultCode(), "");
  EXPECT_EQ(masters.lookups - before, 2 + 2 * 3);  // FL1916 per key; FL1902, 'E', 'L' per format
  std::string separate;
  int n = 0;
  for (const auto& line : {a, b, a2, b, a}) separate += Lines({line}, "one" + std::to_string(n++));
  EXPECT_EQ(mixed, separate);
  EXPECT_EQ(state.bpid, "ABCD0101");  // the state holds the last group's tables
  EXPECT_EQ(state.ediItems.size(), 1u);
}

TEST_F(GroupChanges, TablesAreReadAgainByTheNextCall) {
  TwoFormats();
  const std::string line = Key("0202", "OWN", "OTHER") + "0042XY";
  std::string first = Lines({line}, "first");
  // The masters change between two calls with the same state: the second call sees it.
  masters.SetItems('L', "0202", "EFGH0202", {Item(1, 1, 0, 0, "1", "9", 4), Item(2, 2, 0, 0, "6", "X", 1)});
  std::string second = Lines({line}, "second");
  ASSERT_EQ(log.resultCode(), "");
  EXPECT_NE(first.find(B({4, 2}) + "XY"), std::string::npos);
  EXPECT_EQ(second.find(B({4, 2}) + "XY"), std::string::npos);
  EXPECT_NE(second.find(B({4, 1}) + "Y"), std::string::npos);
}

}  // namespace
}  // namespace edi::cii::test
