// CII to XML: the document's exact bytes and layout, groups and repetitions, the codes that
// stop a conversion, and the cases where reading goes on.
#include "xml_fixture.h"

#include "app/text.h"

namespace edi::xml::test {
namespace {

class CiiToXmlTest : public XmlTest {
 protected:
  // Two level-0 items, a group of two members repeated 3 times, then a level-0 item.
  void Order(const std::string& xmlCode = "M") {
    Format({Item(1, 0, 0, 1, "", "X", 10), Item(2, 0, 0, 2, "", "N", 9), Item(3, 0, 0, 0, "", "M", 0, 0, "0", 3),
            Item(4, 0, 1, 10, "", "X", 5), Item(5, 0, 1, 11, "", "Y", 8), Item(6, 0, 0, 20, "", "K", 10)},
           xmlCode);
  }
  static std::string Head() {
    return "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<CII-ABCD01010101-V10>\r\n<JPMGH>\r\n"
           "<JPC03>P</JPC03>\r\n<JPC04>VAN1</JPC04>\r\n<JPC05>SCTR</JPC05>\r\n<JPC06>SENDER01</JPC06>\r\n"
           "<JPC07>RVAN</JPC07>\r\n<JPC08>RCTR</JPC08>\r\n<JPC09>RECEIVER01</JPC09>\r\n<JPC10>ABCD</JPC10>\r\n"
           "<JPC11>01</JPC11>\r\n<JPC12>01</JPC12>\r\n<JPC14>0101</JPC14>\r\n<JPC17>11</JPC17>\r\n"
           "<JPC18>REF0000001</JPC18>\r\n<JPC19>260203040506</JPC19>\r\n<JPC21>CII300</JPC21>\r\n"
           "<JPC23>M</JPC23>\r\n<JPC24>1</JPC24>\r\n<JPC25>M</JPC25>\r\n<JPC29>0</JPC29>\r\n"
           "<JPC30>A01</JPC30>\r\n<JPC31>A02</JPC31>\r\n<JPC32>A03</JPC32>\r\n<JPC33>A04</JPC33>\r\n"
           "<JPC34>A05</JPC34>\r\n<JPC35>A06</JPC35>\r\n</JPMGH>";
  }
};

TEST_F(CiiToXmlTest, DocumentBytesWithGroupRepetitionsAndRawLineEnds) {
  Order();
  const std::string tfd = B({1, 3}) + "ABC" + B({2, 4}) + "1250" + B({0xFA, 10, 2}) + "xy" + B({0xFB, 11, 4}) +
                          "0101" + B({0xFC, 20, 4}) + ToAnsiBytes("漢字");
  const std::string xml = ToXml(CiiFile(Header(), {tfd}));
  ASSERT_EQ(log.resultCode(), "") << Log();
  const std::string expected = Head() +
                               "\r\n<JPTRM SEQ=\"1\">\r\n<JP00001>ABC</JP00001>\r\n<JP00002>1250</JP00002>\r\n"
                               "<JPM0>\r\n  <JPM0R>\r\n    <JP00010>xy</JP00010>\r\n  </JPM0R>\r\n"
                               "  <JPM0R>\r\n    <JP00011>20000101</JP00011>\r\n  </JPM0R>\r\n</JPM0>\r\n"
                               "<JP00020>" + ToAnsiBytes("漢字") + "</JP00020>\r\n</JPTRM>\r\n"
                               "</CII-ABCD01010101-V10>\r\n";
  EXPECT_EQ(xml, expected);
  EXPECT_EQ(xml.find("&#13;"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(PartialOutputPath(dir / "out.xml")));
}

TEST_F(CiiToXmlTest, DeclarationFollowsTheFormatsXmlCode) {
  const std::string cii = CiiFile(Header(), {B({1, 2}) + "AB"});
  Order("U");
  std::string xml = ToXml(cii);
  ASSERT_GE(xml.size(), 4u);
  EXPECT_EQ(xml.substr(0, 4), B({0xFF, 0xFE, '<', 0}));
  EXPECT_EQ(state.xmlCharCode, "M");  // the shared code is "M" after the head is built

  masters = {};
  Order("S");
  xml = ToXml(cii);
  EXPECT_EQ(xml.substr(0, 44), "<?xml version=\"1.0\" encoding=\"ISO-2022-JP\"?>");

  masters = {};
  Order(" ");
  xml = ToXml(cii);
  EXPECT_EQ(xml.substr(0, 23), "<CII-ABCD01010101-V10>\r");
}

TEST_F(CiiToXmlTest, ValuesByAttribute) {
  Format({Item(1, 0, 0, 1, "", "Y", 8), Item(2, 0, 0, 2, "", "Y", 8), Item(3, 0, 0, 3, "", "Y", 8),
          Item(4, 0, 0, 4, "", "B", 2), Item(5, 0, 0, 5, "", "9", 5), Item(6, 0, 0, 6, "", "Z", 5),
          Item(7, 0, 0, 7, "", "X", 5)});
  const std::string tfd = B({1, 6}) + "991231" + B({2, 6}) + "050101" + B({3, 7}) + "1234567" + B({4, 2, 0x0A, 0x1F}) +
                          B({5, 3}) + "042" + B({6, 2}) + "zz" + B({7, 5}) + "a<&>b";
  const std::string xml = ToXml(CiiFile(Header(), {tfd}));
  EXPECT_NE(xml.find("<JP00001>19991231</JP00001>"), std::string::npos);
  EXPECT_NE(xml.find("<JP00002>20050101</JP00002>"), std::string::npos);
  EXPECT_NE(xml.find("<JP00003>1234567</JP00003>"), std::string::npos);  // 7 characters: as it is
  EXPECT_NE(xml.find("<JP00004>0A1F</JP00004>"), std::string::npos);
  EXPECT_NE(xml.find("<JP00005>042</JP00005>"), std::string::npos);
  EXPECT_NE(xml.find("<JP00006/>"), std::string::npos);  // an attribute without a rule: empty
  EXPECT_NE(xml.find("<JP00007>a&lt;&amp;&gt;b</JP00007>"), std::string::npos);
}

TEST_F(CiiToXmlTest, KanjiByTheHeadersDoubleByteCode) {
  Format({Item(1, 0, 0, 1, "", "K", 4)});
  // JIS X 0208 0x30 0x21 is 亜; UCS-2 0x4E9C is 亜 too, and 0x9DD7 (鷗) is not in CP932.
  std::string xml = ToXml(CiiFile(Header('M', 'S'), {B({1, 2, 0x30, 0x21})}));
  EXPECT_NE(xml.find("<JP00001>" + ToAnsiBytes("亜") + "</JP00001>"), std::string::npos) << xml;
  xml = ToXml(CiiFile(Header('M', 'U'), {B({1, 4, 0x4E, 0x9C, 0x9D, 0xD7})}));
  EXPECT_NE(xml.find("<JP00001>" + ToAnsiBytes("亜") + "&#40407;</JP00001>"), std::string::npos) << xml;
}

TEST_F(CiiToXmlTest, NumberedGroupsAreFoundByTheCodeTheWriterPutsThere) {
  // Group "3" (0xFA and the character "3"), group "A", group 300 (0xFD), nested in "3".
  Format({Item(1, 0, 0, 0, "", "M", 0, 0, "3", 2), Item(2, 0, 1, 5, "", "X", 3),
          Item(3, 0, 1, 0, "", "M", 0, 0, "300", 1), Item(4, 0, 2, 6, "", "X", 3),
          Item(5, 0, 0, 0, "", "M", 0, 0, "A", 1), Item(6, 0, 1, 7, "", "X", 3)});
  const std::string tfd = B({0xF0, 0xFA, '3', 0, 5, 1}) + "a" + B({0xFD, 0x01, 0x2C, 0, 6, 1}) + "b" +
                          B({0xFC, 0xFC, 0xFA, 'A', 0, 7, 1}) + "c" + B({0xFC});
  const std::string xml = ToXml(CiiFile(Header(), {tfd}));
  const std::string body = "<JPTRM SEQ=\"1\">\r\n<JPM3>\r\n  <JPM3R>\r\n    <JP00005>a</JP00005>\r\n"
                           "  <JPM300>\r\n      <JPM300R>\r\n        <JP00006>b</JP00006>\r\n      </JPM300R>\r\n"
                           "</JPM300>\r\n  </JPM3R>\r\n</JPM3>\r\n<JPMA>\r\n  <JPMAR>\r\n    <JP00007>c</JP00007>\r\n"
                           "  </JPMAR>\r\n</JPMA>\r\n</JPTRM>";
  EXPECT_NE(xml.find(body), std::string::npos) << xml;
}

TEST_F(CiiToXmlTest, UnknownElementsAreDroppedAndUnknownGroupsStop) {
  Order();
  // Tag 99 is not in the table; a stray 0xFB and 0xFC outside any group change nothing.
  std::string xml = ToXml(CiiFile(Header(), {B({99, 2}) + "zz" + B({0xFB, 0xFC, 1, 1}) + "A" + B({2, 1}) + "5"}));
  ASSERT_EQ(log.resultCode(), "");
  EXPECT_NE(xml.find("<JPTRM SEQ=\"1\">\r\n<JP00001>A</JP00001>\r\n<JP00002>5</JP00002>\r\n</JPTRM>"),
            std::string::npos)
      << xml;
  // Group "7" is in no form: its data cannot be placed, so the conversion stops (no document).
  std::filesystem::remove(dir / "out.xml");
  ToXml(CiiFile(Header(), {B({1, 1}) + "A" + B({0xF0, 0xFA, '7', 0, 10, 1}) + "q" + B({0xFC})}));
  EXPECT_EQ(log.resultCode(), "0014");
  EXPECT_FALSE(std::filesystem::exists(dir / "out.xml"));
  EXPECT_FALSE(std::filesystem::exists(PartialOutputPath(dir / "out.xml")));
}

// 0xFA alone (one-byte mode) is the message's single unnumbered group, JPM0 / JPM0R, whatever
// its group item's number; after 0xFA in extended mode the byte is matched as a character
// first (the code this system's writer puts there), then as the number itself. Either way
// the document converts back to the same bytes.
TEST_F(CiiToXmlTest, GroupNamesAndTheWayBackToTheSameBytes) {
  Format({Item(1, 0, 0, 0, "", "M", 0, 0, "A", 2), Item(2, 0, 1, 10, "", "X", 5),
          Item(3, 0, 0, 0, "", "M", 0, 0, "51", 1), Item(4, 0, 1, 11, "", "X", 5),
          Item(5, 0, 0, 0, "", "M", 0, 0, "3", 2), Item(6, 0, 1, 12, "", "X", 5),
          Item(7, 0, 0, 0, "", "M", 0, 0, "12", 1), Item(8, 0, 1, 13, "", "X", 5)});
  const std::string oneByte = B({0xFA, 10, 1}) + "a" + B({0xFB, 10, 1}) + "b" + B({0xFC});
  std::string xml = ToXml(CiiFile(Header(), {oneByte}));
  ASSERT_EQ(log.resultCode(), "") << Log();
  EXPECT_NE(xml.find("<JPM0>\r\n  <JPM0R>\r\n    <JP00010>a</JP00010>\r\n  </JPM0R>\r\n  <JPM0R>"),
            std::string::npos)
      << xml;
  EXPECT_EQ(xml.find("JPMAR"), std::string::npos);

  // "3" is 0x33 = 51: the character names group "3", although group "51" comes first.
  const std::string byCharacter = B({0xF0, 0xFA, '3', 0, 12, 1}) + "c" + B({0xFC});
  xml = ToXml(CiiFile(Header(), {byCharacter}));
  EXPECT_NE(xml.find("<JPM3>\r\n  <JPM3R>\r\n    <JP00012>c</JP00012>"), std::string::npos) << xml;
  // Bytes that no group's character is: their value names the group ("3", then "12").
  const std::string byValue = B({0xF0, 0xFA, 3, 0, 12, 1}) + "d" + B({0xFC, 0xFA, 12, 0, 13, 1}) + "e" + B({0xFC});
  xml = ToXml(CiiFile(Header(), {byValue}));
  ASSERT_EQ(log.resultCode(), "") << Log();
  EXPECT_NE(xml.find("<JPM3>\r\n  <JPM3R>\r\n    <JP00012>d</JP00012>"), std::string::npos) << xml;
  EXPECT_NE(xml.find("<JPM12>\r\n  <JPM12R>\r\n    <JP00013>e</JP00013>"), std::string::npos) << xml;

  // CII → XML → CII gives the same file for what this system writes.
  for (const std::string& tfd : {oneByte, byCharacter}) {
    const std::string cii = CiiFile(Header(), {tfd});
    const std::string document = ToXml(cii);
    std::filesystem::remove(dir / "back.cii");
    EXPECT_EQ(ToCii(document, "back.cii"), cii);
    ASSERT_EQ(log.resultCode(), "") << Log();
  }
}

TEST_F(CiiToXmlTest, LongFormMultiBlockAndLargeBlockMessages) {
  Format({Item(1, 0, 0, 1, "", "X", 40000), Item(2, 0, 0, 2, "", "X", 600)});
  const std::string big(33000, 'x');
  const std::string longTfd = B({1, 0xF2, 33000 >> 8, 33000 & 0xFF}) + big;
  const std::string midTfd = B({2, 0xF2, 2, 0x58}) + std::string(600, 'y');  // three 251-byte blocks
  std::string xml = ToXml(CiiFile(Header(), {longTfd, midTfd}));
  ASSERT_EQ(log.resultCode(), "") << Log();
  EXPECT_NE(xml.find("</JPMGH><?JPTRM SEQ=\"1\"?>\r\n<JPTRM SEQ=\"1\">\r\n<JP00001>" + big + "</JP00001>"),
            std::string::npos);
  EXPECT_NE(xml.find("<JPTRM SEQ=\"2\">\r\n<JP00002>" + std::string(600, 'y') + "</JP00002>"), std::string::npos);

  xml = ToXml(CiiFile(Header('S'), {longTfd, midTfd}));
  ASSERT_EQ(log.resultCode(), "") << Log();
  EXPECT_NE(xml.find("<JP00001>" + big + "</JP00001>"), std::string::npos);
  EXPECT_NE(xml.find("<JP00002>" + std::string(600, 'y') + "</JP00002>"), std::string::npos);
}

TEST_F(CiiToXmlTest, StorageFlags20SkipMessagesAndBadLeadsAreLoggedQuietly) {
  Order();
  cii::CiiHeaderRecord h = Header();
  h.SetField(103, 2, "20");
  std::string cii = CiiFile(h, {B({1, 1}) + "A"});
  cii.insert(251, "A?");  // a bad block lead before the message
  const std::string xml = ToXml(cii);
  ASSERT_EQ(log.resultCode(), "");
  EXPECT_NE(xml.find("</JPMGH>\r\n</CII-ABCD01010101-V10>\r\n"), std::string::npos) << xml;
  EXPECT_NE(Log().find("0008\r\n"), std::string::npos);
}

TEST_F(CiiToXmlTest, BlocksOf251BytesArePaddedWhateverTheStorageFlagsSay) {
  // The writers pad every last 251-byte block, also when JPC17 is blank (as an XML document
  // without it gives): the next message must still be read at its block start.
  Order();
  for (const char* flags : {"  ", "10"}) {
    log.ClearResult();
    cii::CiiHeaderRecord h = Header();
    h.SetField(103, 2, flags);
    const std::string xml = ToXml(CiiFile(h, {B({1, 1}) + "A", B({1, 1}) + "B"}));
    ASSERT_EQ(log.resultCode(), "") << flags << Log();
    EXPECT_NE(xml.find("<JPTRM SEQ=\"2\">\r\n<JP00001>B</JP00001>"), std::string::npos) << flags;
  }
}

TEST_F(CiiToXmlTest, CodesThatStopTheConversionLeaveNoDocument) {
  const std::string whole = CiiFile(Header(), {B({1, 1}) + "A"});
  // No format row: 0001; no 'E' rows: 0003.
  EXPECT_EQ(ToXml(whole), "");
  EXPECT_EQ(log.resultCode(), "0001");
  masters.AddFormat("0101", "ABCD0101", {});
  log.ClearResult();
  EXPECT_EQ(ToXml(whole), "");
  EXPECT_EQ(log.resultCode(), "0003");

  Order();
  for (std::size_t cut : {std::size_t{300}, std::size_t{251 + 251 + 100}, std::size_t{251 + 251}}) {
    // Inside the message, inside the trailer, and a group whose trailer never comes.
    log.ClearResult();
    EXPECT_EQ(ToXml(whole.substr(0, cut)), "") << cut;
    EXPECT_EQ(log.resultCode(), "0007") << cut;
    EXPECT_FALSE(std::filesystem::exists(PartialOutputPath(dir / "out.xml")));
  }
  log.ClearResult();
  EXPECT_EQ(ToXml(""), "");  // an empty file: nothing to convert, no error
  EXPECT_EQ(log.resultCode(), "");
}

TEST_F(CiiToXmlTest, SecondGroupKeepsTheFirstDocumentAndIsReported) {
  Order();
  const std::string first = CiiFile(Header(), {B({1, 5}) + "FIRST"});
  const std::string xml = ToXml(first + CiiFile(Header(), {B({1, 6}) + "SECOND"}));
  EXPECT_EQ(log.resultCode(), "0042");
  EXPECT_NE(xml.find("FIRST"), std::string::npos);
  EXPECT_EQ(xml.find("SECOND"), std::string::npos);
}

TEST_F(CiiToXmlTest, HeaderFieldsLoseTheirPaddingButJpc03KeepsItsCharacter) {
  Order();
  cii::CiiHeaderRecord h = Header();
  h.SetField(0, 1, " ");
  h.SetField(1, 12, "VAN1");
  const std::string xml = ToXml(CiiFile(h, {}));
  EXPECT_NE(xml.find("<JPC03> </JPC03>\r\n<JPC04>VAN1</JPC04>"), std::string::npos);
  EXPECT_NE(xml.find("</JPMGH>\r\n</CII-"), std::string::npos);
}

TEST_F(CiiToXmlTest, CharactersThatXmlCannotCarryAreReported) {
  // A control byte in a header field, a byte without a character in a value: the document is
  // still well-formed (with "?" and U+FFFD) but is not the data, and the result says so.
  Order();
  cii::CiiHeaderRecord h = Header();
  h.SetField(13, 12, "SC\x1ATR");
  std::string xml = ToXml(CiiFile(h, {B({1, 3}) + "A\x81 "}));
  EXPECT_EQ(log.resultCode(), "0045");
  EXPECT_NE(xml.find("<JPC05>SC?TR</JPC05>"), std::string::npos);
  EXPECT_NE(Log().find("0045JPC05\r\n"), std::string::npos);
  EXPECT_NE(Log().find("0045JP00001\r\n"), std::string::npos);
  // Tab, line feed and characters outside the declared encoding come through whole.
  log.ClearResult();
  h.SetField(13, 12, "SC\tTR");
  xml = ToXml(CiiFile(h, {B({1, 2}) + ToAnsiBytes("ｱ") + "\n"}));
  EXPECT_EQ(log.resultCode(), "") << Log();
}

}  // namespace
}  // namespace edi::xml::test
