// XML to CII: header from the JPC elements, the header-changed rule, values by attribute,
// groups and repetitions, per-group numbering and trailer counts, and refused documents.
#include "xml_fixture.h"

#include "app/text.h"

namespace edi::xml::test {
namespace {

class XmlToCiiTest : public XmlTest {
 protected:
  void SetUp() override {
    Format({Item(1, 0, 0, 1, "", "X", 10), Item(2, 0, 0, 2, "", "9", 7), Item(3, 0, 0, 3, "", "Y", 8),
            Item(4, 0, 0, 4, "", "B", 2), Item(5, 0, 0, 5, "", "K", 4), Item(6, 0, 0, 0, "", "M", 0, 0, "0", 3),
            Item(7, 0, 1, 10, "", "X", 5), Item(8, 0, 0, 0, "", "M", 0, 0, "3", 2), Item(9, 0, 1, 11, "", "X", 5),
            Item(10, 0, 0, 300, "", "X", 5)});
  }
  static std::string Jpmgh(const std::string& van = "VAN1") {
    return "<JPMGH><JPC03>P</JPC03><JPC04>" + van +
           "</JPC04><JPC05>SCTR</JPC05><JPC06>SENDER01</JPC06><JPC07>RVAN</JPC07>"
           "<JPC08>RCTR</JPC08><JPC09>RECEIVER01</JPC09><JPC10>ABCD</JPC10><JPC11>01</JPC11><JPC12>01</JPC12>"
           "<JPC14>0101</JPC14><JPC17>11</JPC17><JPC18>REF0000001</JPC18><JPC19>260203040506</JPC19>"
           "<JPC21>CII300</JPC21><JPC23>M</JPC23><JPC24>1</JPC24><JPC25>M</JPC25><JPC29>0</JPC29>"
           "<JPC30>A01</JPC30><JPC31>A02</JPC31><JPC32>A03</JPC32><JPC33>A04</JPC33><JPC34>A05</JPC34>"
           "<JPC35>A06</JPC35></JPMGH>";
  }
  static std::string Doc(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<CII-ABCD01010101-V10>" + body +
           "</CII-ABCD01010101-V10>\r\n";
  }
  // The TFD bytes of the message block at `offset` (short form).
  static std::string Tfd(const std::string& cii, std::size_t offset) {
    const std::string block = cii.substr(offset, 251);
    const std::size_t length = static_cast<unsigned char>(block[7]) * 256u + static_cast<unsigned char>(block[8]);
    return block.substr(9, length - 9);
  }
};

TEST_F(XmlToCiiTest, HeaderMessagesAndTrailer) {
  const std::string cii = ToCii(Doc(Jpmgh() + "<JPTRM SEQ=\"7\"><JP00001>ABC</JP00001></JPTRM>"
                                              "<JPTRM SEQ=\"3\"><JP00001>DEF</JP00001></JPTRM>"));
  ASSERT_EQ(log.resultCode(), "") << Log();
  ASSERT_EQ(cii.size(), 4u * 251);
  EXPECT_EQ(cii.substr(0, 251), cii::HeaderBlock(Header()));
  EXPECT_EQ(cii.substr(251, 7), "9D00001");  // SEQ is not used
  EXPECT_EQ(Tfd(cii, 251), B({1, 3}) + "ABC");
  EXPECT_EQ(cii.substr(502, 7), "9D00002");
  EXPECT_EQ(cii.substr(753, 7), "0E00002");
}

TEST_F(XmlToCiiTest, ValuesByAttribute) {
  const std::string cii = ToCii(Doc(Jpmgh() +
                                    "<JPTRM><JP00002>00120</JP00002><JP00003>991231</JP00003><JP00004>0A1f</JP00004>"
                                    "<JP00005>" + ToAnsiBytes("亜a") + "</JP00005></JPTRM>"
                                    "<JPTRM><JP00002>0</JP00002><JP00003>0</JP00003><JP00001></JP00001></JPTRM>"));
  ASSERT_EQ(log.resultCode(), "") << Log();
  EXPECT_EQ(Tfd(cii, 251), B({2, 3}) + "120" + B({3, 8}) + "19991231" + B({4, 2, 0x0A, 0x1F}) + B({5, 4}) +
                               ToAnsiBytes("亜ａ"));
  EXPECT_EQ(Tfd(cii, 502), "");  // zero number, zero date and empty text are left out
}

// Plain digits and dates with their century take a short way; signs, spaces, points and
// short dates the general one: both give the same numbers.
TEST_F(XmlToCiiTest, NumbersAndDatesInEveryForm) {
  const std::string cii = ToCii(Doc(Jpmgh() +
                                    "<JPTRM><JP00002>0000</JP00002><JP00002> 12</JP00002><JP00002>-0012.50</JP00002>"
                                    "<JP00002>000000000000000000000000042</JP00002></JPTRM>"
                                    "<JPTRM><JP00003>20260203</JP00003><JP00003>20000000</JP00003>"
                                    "<JP00003>120260203</JP00003><JP00003>00000000</JP00003><JP00003>0099123</JP00003>"
                                    "<JP00003>260203</JP00003><JP00003>2026-02-03</JP00003></JPTRM>"));
  ASSERT_EQ(log.resultCode(), "") << Log();
  EXPECT_EQ(Tfd(cii, 251), B({2, 2}) + "12" + B({2, 5}) + "-12.5" + B({2, 2}) + "42");
  EXPECT_EQ(Tfd(cii, 502), B({3, 8}) + "20260203" + B({3, 8}) + "20260203" + B({3, 5}) + "99123" + B({3, 8}) +
                               "20260203" + B({3, 2}) + "26");  // the rightmost 8 characters, read up to the "-"
}

TEST_F(XmlToCiiTest, GroupsRepetitionsAndExtendedTags) {
  const std::string cii = ToCii(Doc(Jpmgh() +
                                    "<JPTRM>\r\n<JPM0>\r\n  <JPM0R><JP00010>a</JP00010></JPM0R>\r\n  <JPM0R/>\r\n"
                                    "  <JPM0R><JP00010>c</JP00010></JPM0R>\r\n</JPM0>\r\n"
                                    "<JP00300>w</JP00300><JPM3><JPM3R><JP00011>x</JP00011></JPM3R></JPM3></JPTRM>"));
  ASSERT_EQ(log.resultCode(), "") << Log();
  EXPECT_EQ(Tfd(cii, 251), B({0xFA, 10, 1}) + "a" + B({0xFB, 0xFB, 10, 1}) + "c" + B({0xFC, 0xF0, 0x01, 0x2C, 1}) +
                               "w" + B({0xF0, 0xFA, '3', 0, 11, 1}) + "x" + B({0xFC}));
}

// A group element is written from its group item: JPM0 in one-byte mode is the first group
// item of its level, written as 0xFA alone; a group that the form does not have stops the
// conversion and leaves the output as it was.
// Text between elements (layout, or stray words) is never part of a value, wherever it stands;
// text inside a data element is read whole, also around elements nested in it.
TEST_F(XmlToCiiTest, OnlyTextInsideDataElementsAndHeaderFieldsIsRead) {
  const std::string clean = ToCii(Doc(Jpmgh() + "<JPTRM><JP00001>A B</JP00001><JPM0><JPM0R><JP00010>c</JP00010>"
                                                "</JPM0R></JPM0><JP00005>" + ToAnsiBytes("亜") + "</JP00005></JPTRM>"));
  std::filesystem::remove(dir / "out.cii");
  const std::string noisy = ToCii(
      "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<CII-ABCD01010101-V10>stray " + Jpmgh() +
      " between<JPTRM>\r\n  words <![CDATA[cdata]]><!-- c --><?pi x?><JP00001>A<b> </b><![CDATA[B]]></JP00001>"
      "<JPM0> text <JPM0R> more <JP00010>c</JP00010>\r\n</JPM0R>\r\n</JPM0> <JP00005>" + ToAnsiBytes("亜") +
      "</JP00005><other>ignored</other></JPTRM>tail</CII-ABCD01010101-V10>\r\n");
  ASSERT_EQ(log.resultCode(), "") << Log();
  EXPECT_EQ(noisy, clean);
}

TEST_F(XmlToCiiTest, GroupsComeFromTheItemTable) {
  masters = {};
  Format({Item(1, 0, 0, 0, "", "M", 0, 0, "7", 2), Item(2, 0, 1, 10, "", "X", 5)});
  std::string cii = ToCii(Doc(Jpmgh() + "<JPTRM><JPM0><JPM0R><JP00010>a</JP00010></JPM0R></JPM0></JPTRM>"));
  ASSERT_EQ(log.resultCode(), "") << Log();
  EXPECT_EQ(Tfd(cii, 251), B({0xFA, 10, 1}) + "a" + B({0xFC}));

  std::filesystem::remove(dir / "out.cii");
  cii = ToCii(Doc(Jpmgh() + "<JPTRM><JPM5><JPM5R><JP00010>a</JP00010></JPM5R></JPM5></JPTRM>"));
  EXPECT_EQ(log.resultCode(), "0014");
  EXPECT_EQ(cii, "");
}

TEST_F(XmlToCiiTest, EachGroupCountsAndNumbersItsOwnMessages) {
  const std::string cii = ToCii(Doc(Jpmgh() + "<JPTRM><JP00001>A</JP00001></JPTRM>" + Jpmgh() +
                                    "<JPTRM><JP00001>B</JP00001></JPTRM>" + Jpmgh("VAN2") +
                                    "<JPTRM><JP00001>C</JP00001></JPTRM><JPTRM><JP00001>D</JP00001></JPTRM>"));
  ASSERT_EQ(log.resultCode(), "") << Log();
  // An unchanged JPMGH continues the group; a changed one closes it and opens the next.
  ASSERT_EQ(cii.size(), 8u * 251);
  EXPECT_EQ(cii.substr(251, 7), "9D00001");
  EXPECT_EQ(cii.substr(502, 7), "9D00002");
  EXPECT_EQ(cii.substr(753, 7), "0E00002");
  EXPECT_EQ(cii.substr(1004, 2) + cii.substr(1006, 13), "0CPVAN2        ");
  EXPECT_EQ(cii.substr(1255, 7), "9D00001");
  EXPECT_EQ(cii.substr(1506, 7), "9D00002");
  EXPECT_EQ(cii.substr(1757, 7), "0E00002");
}

TEST_F(XmlToCiiTest, MessagesInsideOtherElementsAreFoundInDocumentOrder) {
  // Elements around the messages are looked into; a JPTRM inside the header is not a message.
  std::string header = Jpmgh();
  header.insert(header.find("</JPMGH>"), "<JPTRM><JP00001>H</JP00001></JPTRM>");
  const std::string cii = ToCii(Doc("\r\n<W>" + header + "</W>\r\n<W><V><JPTRM><JP00001>A</JP00001></JPTRM></V>"
                                    "<JPTRM><JP00001>B<JPTRM/></JP00001></JPTRM></W>\r\n"));
  ASSERT_EQ(log.resultCode(), "") << Log();
  ASSERT_EQ(cii.size(), 4u * 251);
  EXPECT_EQ(Tfd(cii, 251), B({1, 1}) + "A");
  EXPECT_EQ(Tfd(cii, 502), B({1, 1}) + "B");
  EXPECT_EQ(cii.substr(753, 7), "0E00002");
}

TEST_F(XmlToCiiTest, ConvertingTwiceAppendsTwoCompleteGroups) {
  const std::string doc = Doc(Jpmgh() + "<JPTRM><JP00001>A</JP00001></JPTRM>");
  ToCii(doc);
  const std::string cii = ToCii(doc);
  ASSERT_EQ(cii.size(), 6u * 251);
  EXPECT_EQ(cii.substr(753, 2), "0C");
  EXPECT_EQ(cii.substr(1255, 7), "0E00001");
}

TEST_F(XmlToCiiTest, ElementsWithoutAnItemOrWithBadHexAreLoggedAndLeftOut) {
  const std::string cii = ToCii(Doc(Jpmgh() + "<JPTRM><JP00077>z</JP00077><JPXYZ>q</JPXYZ><OTHER>o</OTHER>"
                                              "<JP00004>0G</JP00004><JP00001>A</JP00001></JPTRM>"));
  EXPECT_EQ(log.resultCode(), "");
  EXPECT_EQ(Tfd(cii, 251), B({1, 1}) + "A");
  EXPECT_NE(Log().find("0041JP00077\r\n"), std::string::npos);
  EXPECT_NE(Log().find("0041JPXYZ\r\n"), std::string::npos);
  EXPECT_NE(Log().find("0044JP00004\r\n"), std::string::npos);
}

TEST_F(XmlToCiiTest, MessageBeforeAnyHeaderIsNotWritten) {
  const std::string cii = ToCii(Doc("<JPTRM><JP00001>A</JP00001></JPTRM>" + Jpmgh() + "<JPTRM/>"));
  EXPECT_EQ(log.resultCode(), "0034");
  ASSERT_EQ(cii.size(), 3u * 251);
  EXPECT_EQ(cii.substr(0, 2), "0C");
}

TEST_F(XmlToCiiTest, MissingMastersStopBeforeTheHeader) {
  masters = {};
  EXPECT_EQ(ToCii(Doc(Jpmgh() + "<JPTRM/>")), "");
  EXPECT_EQ(log.resultCode(), "0001");
  log.ClearResult();
  masters.AddFormat("0101", "ABCD0101", {});
  EXPECT_EQ(ToCii(Doc(Jpmgh() + "<JPTRM/>")), "");
  EXPECT_EQ(log.resultCode(), "0003");
}

TEST_F(XmlToCiiTest, AStoppedConversionLeavesTheOutputAsItWas) {
  // An unknown storage mode stops at the first message; so does a second group without a
  // format. Neither leaves a header without its trailer behind: the file keeps what it held.
  std::string badMode = Jpmgh();
  badMode.replace(badMode.find("<JPC23>M"), 8, "<JPC23>X");
  std::string noFormat = Jpmgh("VAN2");
  noFormat.replace(noFormat.find("<JPC14>0101"), 11, "<JPC14>0999");
  const std::string earlier = ToCii(Doc(Jpmgh() + "<JPTRM><JP00001>A</JP00001></JPTRM>"));
  ASSERT_EQ(earlier.size(), 3u * 251);
  for (const auto& [header, code] : {std::pair{badMode, "0031"}, std::pair{noFormat, "0001"}}) {
    log.ClearResult();
    const std::string cii = ToCii(Doc(Jpmgh("VAN3") + "<JPTRM><JP00001>B</JP00001></JPTRM>" + header +
                                      "<JPTRM><JP00001>C</JP00001></JPTRM>"));
    EXPECT_EQ(log.resultCode(), code);
    EXPECT_EQ(cii, earlier);
  }
  std::filesystem::remove(dir / "out.cii");
  log.ClearResult();
  EXPECT_EQ(ToCii(Doc(badMode + "<JPTRM><JP00001>A</JP00001></JPTRM>")), "");
  EXPECT_FALSE(std::filesystem::exists(dir / "out.cii"));
}

TEST_F(XmlToCiiTest, DocumentsThatDoNotParseOrAreRefusedWriteNothing) {
  std::string deep;  // nesting beyond the library's depth limit
  for (int i = 0; i < 3000; ++i) deep += "<a>";
  const std::vector<std::string> bad = {
      "",
      "<CII><JPMGH></CII>",
      "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><r><JPMGH/>&x;</r>",
      "<?xml version=\"1.0\"?><!DOCTYPE r SYSTEM \"http://127.0.0.1:9/evil.dtd\"><r/>",
      "<!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]><r>&b;</r>",
      deep,
      "<r>" + std::string(11 * 1024 * 1024, 'x') + "</r>",  // a text node beyond the size limit
      // Complete groups first, then a fault: what was already converted is taken back.
      Doc(Jpmgh() + "<JPTRM><JP00001>A</JP00001></JPTRM>" + Jpmgh("VAN2") + "<JPTRM><JP00001>B</JP00001></JPTRM>"
          "</CII-ABCD01010101-V10>"),
      Doc(Jpmgh() + "<JPTRM><JP00001>A</JP00001></JPTRM><JPTRM><JP00001>B</JP00001></JPTR>"),
  };
  for (std::size_t i = 0; i < bad.size(); ++i) {
    log.ClearResult();
    std::filesystem::remove(dir / "out.cii");
    EXPECT_EQ(ToCii(bad[i]), "") << i;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.cii")) << i;
    EXPECT_EQ(log.resultCode(), "0040") << i;
  }
}

TEST_F(XmlToCiiTest, EveryEncodingReadsBack) {
  // The same document saved by the CII-to-XML direction in each encoding comes back the same.
  const std::string text = "ｱｲ漢字①~\\";
  std::string previous;
  for (const char* code : {"M", "U", "S", " "}) {
    masters = {};
    Format({Item(1, 0, 0, 1, "", "X", 40)}, code);
    std::filesystem::remove(dir / "out.cii");
    const std::string xml = ToXml(CiiFile(Header(), {B({1, static_cast<int>(ToAnsiBytes(text).size())}) +
                                                     ToAnsiBytes(text)}));
    ASSERT_FALSE(xml.empty()) << code;
    const std::string cii = ToCii(xml);
    ASSERT_EQ(log.resultCode(), "") << code << Log();
    EXPECT_EQ(Tfd(cii, 251), B({1, static_cast<int>(ToAnsiBytes(text).size())}) + ToAnsiBytes(text)) << code;
  }
}

// A Shift_JIS document is decoded by a table before the parser reads it: it converts exactly
// as its UTF-8 twin, however its declaration is written and wherever its characters fall in
// the pieces it is read in; bytes that are not Shift_JIS still refuse it.
TEST_F(XmlToCiiTest, AShiftJisDocumentConvertsAsItsUtf8Twin) {
  const std::vector<std::string> chars = {"ｱ", "漢", "字", "①", "ⅰ", "髙", "~", "\\", "ﾊ", "ﾟ", "表"};
  std::string body = Jpmgh();
  for (std::size_t i = 0; i < 4000; ++i) {
    std::string text(i % 7, 'x');
    for (std::size_t k = 0; k <= i % chars.size(); ++k) text += chars[(i + k) % chars.size()];
    body += "<JPTRM><JP00001>" + ToAnsiBytes(text) + "</JP00001></JPTRM>";
  }
  const std::string sjis = Doc(body);
  std::string utf8 = FromAnsiBytes(sjis);
  utf8.replace(utf8.find("Shift_JIS"), 9, "UTF-8");
  const std::string expected = ToCii(utf8, "twin.cii");
  ASSERT_EQ(log.resultCode(), "") << Log();
  ASSERT_GT(expected.size(), 4000u * 251);
  const std::string declaration = "encoding=\"Shift_JIS\"";
  for (const std::string& form : {declaration, std::string("encoding = 'shift_jis' standalone='yes'"),
                                  std::string("encoding=\"CP932\"")}) {
    SCOPED_TRACE(form);
    std::string doc = sjis;
    doc.replace(doc.find(declaration), declaration.size(), form);
    std::filesystem::remove(dir / "out.cii");
    EXPECT_TRUE(ToCii(doc) == expected);
    EXPECT_EQ(log.resultCode(), "");
  }
  // A lead byte left after the root element is dropped, as the library's converter drops it.
  std::filesystem::remove(dir / "out.cii");
  EXPECT_TRUE(ToCii(sjis + "\x82") == expected);
  // An unmapped pair deep in the document (after many converted messages) refuses it whole.
  std::string broken = sjis;
  broken.insert(broken.find("</JP00001>", broken.size() / 2), "\x85\x40");
  std::filesystem::remove(dir / "out.cii");
  EXPECT_EQ(ToCii(broken), "");
  EXPECT_EQ(log.resultCode(), "0040");
}

}  // namespace
}  // namespace edi::xml::test
