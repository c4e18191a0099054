// Both XML directions on hostile input: a file that is not CII ends at once with a code, and
// an XML document is held in memory one unit at a time, each unit bounded in size.
#include "xml_fixture.h"

#include "xml/xml_codes.h"
#include "xml/xml_input.h"

namespace edi::xml::test {
namespace {

class HostileInput : public XmlTest {
 protected:
  void SetUp() override { Format({Item(1, 0, 0, 1, "", "X", 10)}); }
  static std::string Doc(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<CII-ABCD01010101-V10><JPMGH><JPC03>P</JPC03>"
           "<JPC10>ABCD</JPC10><JPC11>01</JPC11><JPC12>01</JPC12><JPC14>0101</JPC14><JPC23>M</JPC23></JPMGH>" +
           body + "</CII-ABCD01010101-V10>\r\n";
  }
  static std::string Comments(std::size_t bytes) {
    std::string text;
    const std::string one = "<!--" + std::string(1000, 'c') + "-->";
    while (text.size() < bytes) text += one;
    return text;
  }
};

TEST_F(HostileInput, CiiFilesThatAreNotCiiOrHaveNoHeaderStopAtOnce) {
  std::string letter;
  for (int i = 0; i < 2000; ++i) letter += "Dear partner, this is not an EDI file.\r\n";
  EXPECT_EQ(ToXml(letter), "");
  EXPECT_EQ(log.resultCode(), "0037");
  EXPECT_EQ(Log(), "0037\r\n");
  // Messages without a header: the first one ends the file.
  log.ClearResult();
  std::string messages;
  for (int i = 1; i <= 500; ++i) messages += MessageBlocks(i, B({1, 1}) + "A");
  EXPECT_EQ(ToXml(messages, "headless.cii"), "");
  EXPECT_EQ(log.resultCode(), "0034");
  EXPECT_EQ(Log(), "0037\r\n0034\r\n");
}

TEST_F(HostileInput, OneUnitOrTheStretchBetweenUnitsIsBounded) {
  // A message padded with comments beyond the bound: refused with 0046, nothing written.
  EXPECT_EQ(ToCii(Doc("<JPTRM>" + Comments(kMaxUnitBytes + 100000) + "<JP00001>A</JP00001></JPTRM>"), "big.cii"), "");
  EXPECT_EQ(log.resultCode(), "0046");
  // The same amount between two messages, in unknown elements' text.
  log.ClearResult();
  const std::string text = "<X>" + std::string(kMaxUnitBytes / 2, 't') + "</X>";
  EXPECT_EQ(ToCii(Doc("<JPTRM/>" + Comments(kMaxUnitBytes / 2 + 100000) + text + "<JPTRM/>"), "between.cii"), "");
  EXPECT_EQ(log.resultCode(), "0046");
  // Many messages of the same total size are fine: each is let go when it has been written.
  log.ClearResult();
  std::string body;
  const std::string unit = "<JPTRM>" + Comments(20000) + "<JP00001>A</JP00001></JPTRM>";
  while (body.size() < kMaxUnitBytes + 1000) body += unit;
  const std::string cii = ToCii(Doc(body), "many.cii");
  EXPECT_EQ(log.resultCode(), "") << Log();
  EXPECT_EQ(cii.size() % 251, 0u);
  EXPECT_GT(cii.size(), 800u * 251);
}

TEST_F(HostileInput, OneUnitIsBoundedByItsNodesAsWellAsItsBytes) {
  auto repeated = [](const std::string& piece, std::size_t n) {
    std::string text;
    text.reserve(piece.size() * n);
    for (std::size_t i = 0; i < n; ++i) text += piece;
    return text;
  };
  const std::string data = "<JP00001>A</JP00001>";
  // Comments, instructions and empty unknown elements cost a node each for a few bytes:
  // past the node bound the unit is refused with 0046 and nothing is written.
  for (const std::string piece : {"<!---->", "<?p?>", "<x/>"}) {
    log.ClearResult();
    EXPECT_EQ(ToCii(Doc("<JPTRM>" + repeated(piece, kMaxUnitNodes) + data + "</JPTRM>"), "nodes.cii"), "") << piece;
    EXPECT_EQ(log.resultCode(), "0046") << piece;
  }
  // Attributes count too: an unknown element with many attributes, repeated.
  log.ClearResult();
  std::string attributes = "<x";
  for (int i = 0; i < 100; ++i) attributes += " a" + std::to_string(i) + "=\"v\"";
  attributes += "/>";
  EXPECT_EQ(ToCii(Doc("<JPTRM>" + repeated(attributes, kMaxUnitNodes / 200 + 1) + data + "</JPTRM>"), "a.cii"), "");
  EXPECT_EQ(log.resultCode(), "0046");
  // Within the bound the unit is read as before, and the count starts again at each unit:
  // several units of nearly the bound each.
  log.ClearResult();
  const std::string unit = "<JPTRM>" + repeated("<!---->", kMaxUnitNodes - 100) + data + "</JPTRM>";
  const std::string cii = ToCii(Doc(unit + unit + unit), "within.cii");
  EXPECT_EQ(log.resultCode(), "") << Log();
  EXPECT_EQ(cii.size(), 5u * 251);  // header, three messages, trailer
  // Text that arrives in many pieces (a character reference each) is one node, not many.
  log.ClearResult();
  const std::string pieces = ToCii(Doc("<JPTRM><JP00001>" + repeated("&#65;", kMaxUnitNodes + 10) + "</JP00001></JPTRM>"),
                                   "pieces.cii");
  EXPECT_EQ(pieces, "");
  EXPECT_EQ(log.resultCode(), "0028") << Log();  // read, and then too long for its item
}

}  // namespace
}  // namespace edi::xml::test
