#include "cii/format.h"

#include <cstring>

#include "cii/sjis.h"

namespace edi::cii {

std::size_t BlockSizeFor(char storageMode) {
  if (storageMode == 'M' || storageMode == ' ') return kSmallBlock;
  if (storageMode == 'S') return kLargeBlock;
  return 0;
}

const std::array<HeaderField, 25> kHeaderFields = {{
    {"JPC03", 0, 1},    {"JPC04", 1, 12},   {"JPC05", 13, 12},  {"JPC06", 25, 12},  {"JPC07", 37, 12},
    {"JPC08", 49, 12},  {"JPC09", 61, 12},  {"JPC10", 73, 4},   {"JPC11", 77, 2},   {"JPC12", 79, 2},
    {"JPC14", 93, 4},   {"JPC17", 103, 2},  {"JPC18", 105, 10}, {"JPC19", 115, 12}, {"JPC21", 139, 6},
    {"JPC23", 146, 1},  {"JPC24", 147, 1},  {"JPC25", 148, 1},  {"JPC29", 160, 1},  {"JPC30", 161, 3},
    {"JPC31", 164, 3},  {"JPC32", 167, 3},  {"JPC33", 170, 3},  {"JPC34", 173, 3},  {"JPC35", 176, 3},
}};

const HeaderField* FindHeaderField(std::string_view element) {
  for (const HeaderField& f : kHeaderFields)
    if (element == f.element) return &f;
  return nullptr;
}

std::string CiiHeaderRecord::Field(std::size_t offset, std::size_t length) const {
  if (offset >= bytes.size()) return {};
  return std::string(bytes.data() + offset, std::min(length, bytes.size() - offset));
}

void CiiHeaderRecord::SetField(std::size_t offset, std::size_t length, std::string_view sjis) {
  if (offset >= bytes.size()) return;
  length = std::min(length, bytes.size() - offset);
  ByteField f = StoreTextInByteField(length, sjis);
  std::memcpy(bytes.data() + offset, f.bytes.data(), length);
}

std::string CiiHeaderRecord::Bpid() const { return TrimSpaceBytes(Field(hdr::kBpid, 8)); }
std::string CiiHeaderRecord::InfoCategory() const { return TrimSpaceBytes(Field(hdr::kInfoCategory, 4)); }

std::string MessageNumberField(int number) {
  std::string digits = std::to_string(number < 0 ? 0 : number);
  if (digits.size() < 5) digits.insert(0, 5 - digits.size(), '0');
  return digits;
}

std::string TrailerRecord(int messageCount) {
  std::string body(kRecordSize, ' ');
  std::string count = MessageNumberField(messageCount);
  body.replace(0, 5, count.substr(count.size() - 5));
  return body;
}

std::optional<int> TrailerCount(std::string_view body) {
  if (body.size() < 5) return std::nullopt;
  int n = 0;
  for (std::size_t i = 0; i < 5; ++i) {
    if (body[i] < '0' || body[i] > '9') return std::nullopt;
    n = n * 10 + (body[i] - '0');
  }
  return n;
}

std::string HeaderBlock(const CiiHeaderRecord& header) { return "0C" + std::string(header.view()); }
std::string TrailerBlock(int messageCount) { return "0E" + TrailerRecord(messageCount); }

bool AppendTag(std::string& tfd, long long itemNo, bool extended) {
  if (!extended) {
    if (itemNo < 0 || itemNo > kMaxOneByteTag) return false;
    tfd += static_cast<char>(itemNo);
    return true;
  }
  if (itemNo >= 0 && itemNo <= kMaxTwoByteTag) {
    tfd += static_cast<char>(itemNo >> 8);
    tfd += static_cast<char>(itemNo & 0xFF);
    return true;
  }
  if (itemNo >= kMinThreeByteTag && itemNo <= kMaxThreeByteTag) {
    tfd += static_cast<char>(0xF0 + (itemNo >> 16));
    tfd += static_cast<char>((itemNo >> 8) & 0xFF);
    tfd += static_cast<char>(itemNo & 0xFF);
    return true;
  }
  return false;
}

bool AppendLength(std::string& tfd, std::size_t length) {
  if (length <= kMaxOneByteLength) {
    tfd += static_cast<char>(length);
    return true;
  }
  if (length > kMaxElementLength) return false;
  tfd += static_cast<char>(kLength16);
  tfd += static_cast<char>(length >> 8);
  tfd += static_cast<char>(length & 0xFF);
  return true;
}

BlockLead ClassifyLead(std::string_view lead) {
  if (lead == "0C") return BlockLead::Header;
  if (lead == "0E") return BlockLead::Trailer;
  if (lead.size() < 2) return BlockLead::BadFirst;
  if (lead[0] == '0') return BlockLead::OtherZero;
  if (lead[0] < '1' || lead[0] > '9') return BlockLead::BadFirst;
  if (lead[1] != 'D') return BlockLead::BadSecond;
  return BlockLead::Message;
}

}  // namespace edi::cii
