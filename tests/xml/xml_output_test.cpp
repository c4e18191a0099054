// The streaming writer: exact bytes per encoding, characters an encoding cannot hold, and
// documents in each encoding parsed back by the safe reader to the same text.
#include <gtest/gtest.h>
#include <libxml/tree.h>

#include <sstream>

#include "app/text.h"
#include "xml/xml_input.h"
#include "xml/xml_output.h"

namespace edi::xml {
namespace {

std::string Write(XmlEncoding encoding, const std::string& text) {
  std::ostringstream out;
  XmlStreamWriter w(out, encoding);
  w.Declaration();
  w.StartElement("R");
  w.Layout("\r\n  ");
  w.StartElement("V");
  w.Attribute("SEQ", "1");
  w.Text(text);
  w.EndElement();
  w.StartElement("E");
  w.EndElement();
  w.ProcessingInstruction("JPTRM", "SEQ=\"2\"");
  EXPECT_TRUE(w.Finish());
  return out.str();
}

std::string ContentOfV(const std::string& bytes) {
  std::string error;
  XmlDocument doc = ParseXmlMemory(bytes, error);
  if (!doc) return "parse error: " + error;
  xmlNode* root = xmlDocGetRootElement(doc.get());
  for (xmlNode* c = root->children; c != nullptr; c = c->next) {
    if (c->type == XML_ELEMENT_NODE) {
      xmlChar* t = xmlNodeGetContent(c);
      std::string s = reinterpret_cast<const char*>(t);
      xmlFree(t);
      return s;
    }
  }
  return "no element";
}

TEST(XmlOutput, ShiftJisBytesWithRawLayoutAndEscapedValues) {
  const std::string xml = Write(XmlEncoding::ShiftJis, "a&<>\r\x01漢𠮷");
  EXPECT_EQ(xml, "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<R>\r\n  <V SEQ=\"1\">a&amp;&lt;&gt;&#13;?" +
                     ToAnsiBytes("漢") + "&#134071;</V><E/><?JPTRM SEQ=\"2\"?></R>\r\n");
}

TEST(XmlOutput, Utf16AndIso2022JpAndNoDeclaration) {
  const std::string utf16 = Write(XmlEncoding::Utf16, "漢");
  EXPECT_EQ(utf16.substr(0, 6), std::string("\xFF\xFE<\0?\0", 6));
  EXPECT_NE(utf16.find(std::string("\x22\x6F", 2)), std::string::npos);  // 漢 is U+6F22

  // Half-width katakana are not in ISO-2022-JP: references; the text ends back in ASCII.
  const std::string jis = Write(XmlEncoding::Iso2022Jp, "漢ｱ");
  EXPECT_NE(jis.find("\x1B$B\x34\x41\x1B(B&#65393;</V>"), std::string::npos) << jis;

  const std::string plain = Write(XmlEncoding::None, "漢");
  EXPECT_EQ(plain.substr(0, 4), "<R>\r");
  EXPECT_NE(plain.find("漢"), std::string::npos);
}

TEST(XmlOutput, EveryEncodingParsesBackToTheSameText) {
  // Backslash and tilde, half-width katakana, NEC and IBM characters, a character CP932 lacks.
  const std::string text = "A\\~ ｱｶﾞ 漢字 ①Ⅱ㈱ 纊 鷗 &<>\"'\t";
  for (XmlEncoding e : {XmlEncoding::ShiftJis, XmlEncoding::Utf16, XmlEncoding::Iso2022Jp, XmlEncoding::None}) {
    EXPECT_EQ(ContentOfV(Write(e, text)), text) << EncodingLabel(e);
  }
}

// A data element written in one piece is the same bytes as start, text and end, in every
// encoding, for values that take the short way (ASCII) and for those that do not (escapes,
// controls, kanji, characters the encoding lacks, bytes that are not UTF-8, empty).
TEST(XmlOutput, TextElementIsStartTextEnd) {
  const std::string values[] = {"12345", "", "a&b", "<x>", "a\rb", "tab\tlf\n", "\x01", "漢字", "ｱ", "𠮷", "\xFF\xFE",
                                std::string(70000, 'x'), "AB漢CD"};
  for (XmlEncoding e : {XmlEncoding::ShiftJis, XmlEncoding::Utf16, XmlEncoding::Iso2022Jp, XmlEncoding::None}) {
    std::ostringstream one, three;
    XmlStreamWriter a(one, e), b(three, e);
    for (XmlStreamWriter* w : {&a, &b}) {
      w->StartElement("R");
      w->StartElement("JPTRM");
      w->Attribute("SEQ", "1");
    }
    for (const std::string& v : values) {
      const bool whole = a.TextElement("JP00001", v);
      b.StartElement("JP00001");
      EXPECT_EQ(whole, b.Text(v)) << v;
      b.EndElement();
      a.Layout("\r\n  ");
      b.Layout("\r\n  ");
    }
    EXPECT_TRUE(a.Finish());
    EXPECT_TRUE(b.Finish());
    EXPECT_EQ(one.str(), three.str()) << EncodingLabel(e);
  }
}

}  // namespace
}  // namespace edi::xml
