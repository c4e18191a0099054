// Shared pieces of the XML conversion tests: a translation context over in-memory masters,
// CII files assembled from header, message and trailer blocks, and file helpers.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cii/format.h"
#include "cii/masters.h"
#include "cii/message_writer.h"
#include "cii/state.h"
#include "cii/translation_log.h"
#include "cii_fixture.h"
#include "test_support.h"
#include "xml/cii_to_xml.h"
#include "xml/xml_to_cii.h"

namespace edi::xml::test {

using cii::test::B;
using cii::test::Item;

// A header record like the writer's: BPID ABCD0101, category 0101, storage mode `mode`.
inline cii::CiiHeaderRecord Header(char mode = 'M', char code16 = 'M') {
  cii::CiiHeaderRecord h;
  auto set = [&h](std::size_t offset, std::size_t length, const std::string& v) { h.SetField(offset, length, v); };
  set(0, 1, "P");
  set(1, 12, "VAN1");
  set(13, 12, "SCTR");
  set(25, 12, "SENDER01");
  set(37, 12, "RVAN");
  set(49, 12, "RCTR");
  set(61, 12, "RECEIVER01");
  set(73, 8, "ABCD0101");
  set(93, 4, "0101");
  set(103, 2, mode == 'S' ? "10" : "11");
  set(105, 10, "REF0000001");
  set(115, 12, "260203040506");
  set(139, 6, "CII300");
  set(145, 1, "E");
  h.bytes[146] = mode;
  set(147, 1, "1");
  h.bytes[148] = code16;
  set(160, 1, "0");
  set(161, 18, "A01A02A03A04A05A06");
  return h;
}

// One message's blocks for the TFD bytes.
inline std::string MessageBlocks(int number, const std::string& tfd, char mode = 'M') {
  std::ostringstream out;
  cii::WriteMessageBlocks(out, cii::BuildMessageStream(number, tfd), mode);
  return out.str();
}

// A CII file of one group: header, the messages' TFD bytes numbered from 1, trailer.
inline std::string CiiFile(const cii::CiiHeaderRecord& header, const std::vector<std::string>& tfds) {
  std::string file = cii::HeaderBlock(header);
  int n = 0;
  for (const auto& tfd : tfds) file += MessageBlocks(++n, tfd, header.storageMode());
  return file + cii::TrailerBlock(n);
}

class XmlTest : public ::testing::Test {
 protected:
  edi::test::TempDir dir;
  cii::MemoryMasters masters;
  cii::TranslationLog log{dir / "ERR.LOG"};
  cii::TranslationState state;

  void Format(std::vector<cii::ItemFormat> edi, const std::string& xmlCode = "M",
              const std::string& bpid = "ABCD0101", const std::string& category = "0101") {
    cii::FormatInfo f;
    f.formId = "F1";
    f.xmlCharCode = xmlCode;
    masters.AddFormat(category, bpid, f);
    masters.SetItems('E', category, bpid, std::move(edi));
  }

  cii::TranslationContext Context() { return cii::TranslationContext{masters, log, state, cii::test::FixedTime}; }

  // CII bytes → XML bytes ("" when no document was saved).
  std::string ToXml(const std::string& cii, const std::string& name = "in.cii") {
    edi::test::WriteBytes(dir / name, cii);
    auto ctx = Context();
    std::filesystem::remove(dir / "out.xml");
    ConvertCiiToXml(ctx, dir / name, dir / "out.xml");
    return std::filesystem::exists(dir / "out.xml") ? edi::test::ReadBytes(dir / "out.xml") : std::string();
  }

  // XML bytes → CII bytes appended to out.cii.
  std::string ToCii(const std::string& xml, const std::string& out = "out.cii") {
    edi::test::WriteBytes(dir / "in.xml", xml);
    auto ctx = Context();
    ConvertXmlToCii(ctx, dir / "in.xml", dir / out);
    return std::filesystem::exists(dir / out) ? edi::test::ReadBytes(dir / out) : std::string();
  }

  std::string Log() {
    return std::filesystem::exists(dir / "ERR.LOG") ? edi::test::ReadBytes(dir / "ERR.LOG") : std::string();
  }
};

}  // namespace edi::xml::test
