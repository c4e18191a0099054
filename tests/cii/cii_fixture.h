// Shared pieces of the engine's tests: item rows in one line, a translation over in-memory
// masters with a fixed clock, and byte-string helpers.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cii/codes.h"
#include "cii/field_conversion.h"
#include "cii/masters.h"
#include "cii/reader.h"
#include "cii/state.h"
#include "cii/translation_log.h"
#include "cii/writer.h"
#include "test_support.h"

namespace edi::cii::test {

// An item row: sequence, counterpart, level, item number, position, attribute, length,
// decimals, multi-detail number, repeat count.
inline ItemFormat Item(int seq, int counterpart, int level, long long itemNo, const std::string& pos,
                       const std::string& attr, int length, int decimals = 0, const std::string& mdn = "0",
                       int repeats = 0) {
  ItemFormat it;
  it.sequence = seq;
  it.counterpart = counterpart;
  it.level = level;
  it.itemNo = itemNo;
  it.position = pos;
  it.attribute = attr;
  it.length = length;
  it.decimals = decimals;
  it.multiDetail = mdn;
  it.repeatCount = repeats;
  return it;
}

// Bytes from a list of values (for control bytes in expectations).
// A value edited for a CII data element of one attribute: the EDI item's length and decimals,
// the local item's length and decimals, 16-bit code "M".
inline std::string EditForEdi(const std::string& attr, int len, int dec, int localLen, int localDec,
                              const std::string& value) {
  return EditValueForEdi(Item(1, 0, 0, 1, "", attr, len, dec), Item(1, 1, 0, 0, "1", attr, localLen, localDec),
                         value, 'M');
}

inline std::string B(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s += static_cast<char>(b);
  return s;
}

inline std::tm FixedTime() {
  std::tm t{};
  t.tm_year = 126;  // 2026
  t.tm_mon = 1;     // February
  t.tm_mday = 3;
  t.tm_hour = 4;
  t.tm_min = 5;
  t.tm_sec = 6;
  return t;
}

// The key of a local line: category at 6–9, own company at 16–27, partner at 28–39.
inline std::string Key(const std::string& category, const std::string& own, const std::string& partner) {
  auto pad = [](std::string s, std::size_t n) {
    s.resize(n, ' ');
    return s;
  };
  return "00001" + pad(category, 4) + "      " + pad(own, 12) + pad(partner, 12);
}

// Key fields are looked up as they stand in the line, spaces included.
inline std::string Pad12(std::string s) {
  s.resize(12, ' ');
  return s;
}

inline MessageGroupInfo GroupInfo(const std::string& bpid = "ABCD0101", const std::string& storage = "M",
                                  const std::string& code16 = "M") {
  MessageGroupInfo g;
  g.bpid = bpid;
  g.operationMode = "P";
  g.senderVan = "VAN1";
  g.senderCenter = "SCTR";
  g.sender = "SENDER01";
  g.receiverVan = "RVAN";
  g.receiverCenter = "RCTR";
  g.receiver = "RECEIVER01";
  g.infoCategory = "0101";
  g.exchangeRef = "REF0000001";
  g.syntaxVersion = "CII300";
  g.storageMode = storage;
  g.code8 = "1";
  g.code16 = code16;
  g.shortDisplay = "0";
  g.senderVanAgency = "A01";
  g.senderCenterAgency = "A02";
  g.senderAgency = "A03";
  g.receiverVanAgency = "A04";
  g.receiverCenterAgency = "A05";
  g.receiverAgency = "A06";
  return g;
}

// A workspace with in-memory masters for one format (category 0101, own OWN, partner PART).
class Engine : public ::testing::Test {
 protected:
  edi::test::TempDir dir;
  MemoryMasters masters;
  TranslationLog log{dir / "ERR.LOG"};
  TranslationState state;

  void Format(std::vector<ItemFormat> edi, std::vector<ItemFormat> local, MessageGroupInfo info = GroupInfo()) {
    masters.AddMessageGroup(Pad12("PART"), Pad12("OWN"), "0101", info);
    FormatInfo f;
    f.formId = "F1";
    f.xmlCharCode = "M";
    masters.AddFormat("0101", info.bpid, f);
    masters.SetItems('E', "0101", info.bpid, std::move(edi));
    masters.SetItems('L', "0101", info.bpid, std::move(local));
  }

  // Writes the data parts as lines of one group and converts them; returns the CII bytes.
  std::string Write(const std::vector<std::string>& dataParts, const std::string& name = "out.cii") {
    std::string text;
    for (const auto& d : dataParts) text += Key("0101", "OWN", "PART") + d + "\r\n";
    edi::test::WriteBytes(dir / "in.loc", text);
    return Convert(dir / "in.loc", dir / name);
  }

  std::string Convert(const std::filesystem::path& in, const std::filesystem::path& out) {
    TranslationContext ctx{masters, log, state, FixedTime};
    ConvertLocalToCii(ctx, in, out);
    return std::filesystem::exists(out) ? edi::test::ReadBytes(out) : std::string();
  }

  void Read(const std::filesystem::path& in, const std::filesystem::path& out) {
    TranslationContext ctx{masters, log, state, FixedTime};
    ConvertCiiToLocal(ctx, in, out);
  }

  std::string Log() {
    return std::filesystem::exists(dir / "ERR.LOG") ? edi::test::ReadBytes(dir / "ERR.LOG") : std::string();
  }
};

// The message stream part of the first message block after a 251-byte header block.
inline std::string FirstMessageBlock(const std::string& cii) { return cii.substr(251, 251); }

}  // namespace edi::cii::test
