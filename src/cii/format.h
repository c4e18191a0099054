// The byte layout of a CII message file, shared by the writer, the readers and the XML
// converters: blocks and their lead bytes, the header record and its fields with their XML
// element names, the trailer, the message prefix forms and the TFD control bytes.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace edi::cii {

constexpr std::size_t kRecordSize = 249;     // header and trailer bodies
constexpr std::size_t kSmallBlock = 251;     // 格納モード "M" or space; header and trailer blocks
constexpr std::size_t kLargeBlock = 32001;   // 格納モード "S"

// Block size for a storage mode byte (header byte 146); 0 for a mode that has none.
std::size_t BlockSizeFor(char storageMode);

// TFD control bytes.
constexpr unsigned char kExtendedTags = 0xF0;  // one-byte mode: switch to two-/three-byte tags
constexpr unsigned char kLength16 = 0xF2;      // length byte: two length bytes follow
constexpr unsigned char kSkipNext = 0xF9;      // extended mode: the next byte is skipped too
constexpr unsigned char kGroupStart = 0xFA;    // group start (extended: one number byte follows)
constexpr unsigned char kNextRepeat = 0xFB;    // next repetition of the current group
constexpr unsigned char kGroupEnd = 0xFC;      // end of the current group
constexpr unsigned char kGroupStart16 = 0xFD;  // extended mode: group start, two number bytes follow
constexpr unsigned char kMessageEnd = 0xFE;

constexpr long long kMaxOneByteTag = 0xEF;
constexpr long long kMaxTwoByteTag = 0xEFFF;
constexpr long long kMinThreeByteTag = 0x10000;
constexpr long long kMaxThreeByteTag = 0x7FFFF;
constexpr std::size_t kMaxOneByteLength = 0xEF;
constexpr std::size_t kMaxElementLength = 0xFFFF;

// Message prefix (after the lead digit): "D", 5 digits, then 2 length bytes (short form) or
// 0x80 0x80 0xF7 and 7 digits (long form). The length counts from "D" through 0xFE.
constexpr std::size_t kShortPrefix = 9;    // lead digit + "D" + 5 + 2
constexpr std::size_t kLongPrefix = 17;    // lead digit + "D" + 5 + 2 + 1 + 7
constexpr std::size_t kMaxShortTfd = 32759;
constexpr long long kMaxLongStream = 9999999;
constexpr int kMaxMessageNumber = 99999;

// One field of the header record.
struct HeaderField {
  const char* element;  // "JPC03" … "JPC35"
  std::size_t offset;
  std::size_t length;
};
// The 25 named fields in header order (JPC03 … JPC35).
extern const std::array<HeaderField, 25> kHeaderFields;
// The field with that element name, or nullptr.
const HeaderField* FindHeaderField(std::string_view element);

namespace hdr {  // offsets of the fields the engine reads or writes by name
constexpr std::size_t kOperationMode = 0;     // JPC03, 1
constexpr std::size_t kSenderVan = 1;         // JPC04, 12
constexpr std::size_t kSenderCenter = 13;     // JPC05, 12
constexpr std::size_t kSender = 25;           // JPC06, 12
constexpr std::size_t kReceiverVan = 37;      // JPC07, 12
constexpr std::size_t kReceiverCenter = 49;   // JPC08, 12
constexpr std::size_t kReceiver = 61;         // JPC09, 12
constexpr std::size_t kBpid = 73;             // JPC10-12, 8 (4 + 2 + 2)
constexpr std::size_t kInfoCategory = 93;     // JPC14, 4
constexpr std::size_t kStorageFlags = 103;    // JPC17, 2
constexpr std::size_t kExchangeRef = 105;     // JPC18, 10
constexpr std::size_t kCreated = 115;         // JPC19, 12
constexpr std::size_t kSyntaxVersion = 139;   // JPC21, 6
constexpr std::size_t kSyntaxMark = 145;      // "E"
constexpr std::size_t kStorageMode = 146;     // JPC23
constexpr std::size_t kCode8 = 147;           // JPC24
constexpr std::size_t kCode16 = 148;          // JPC25
constexpr std::size_t kShortDisplay = 160;    // JPC29
constexpr std::size_t kSenderVanAgency = 161; // JPC30 … JPC35, 3 each
}  // namespace hdr

// The 249-byte header body. A fresh record is all spaces.
struct CiiHeaderRecord {
  std::array<char, kRecordSize> bytes;
  CiiHeaderRecord() { bytes.fill(' '); }

  std::string Field(std::size_t offset, std::size_t length) const;
  std::string Field(const HeaderField& f) const { return Field(f.offset, f.length); }
  // Stores Shift_JIS bytes left-aligned, space-padded, cut at the width.
  void SetField(std::size_t offset, std::size_t length, std::string_view sjis);

  char storageMode() const { return bytes[hdr::kStorageMode]; }
  std::string storageFlags() const { return Field(hdr::kStorageFlags, 2); }
  // Whether the last block of each message is padded to its full size, so that a reader
  // drops the rest of the block after the message end: bytes 103–104 "11" say so, and a
  // group stored in 251-byte blocks is always padded (the writers pad those blocks whatever
  // the flags say).
  bool padsMessageBlocks() const {
    return storageFlags() == "11" || storageMode() == 'M' || storageMode() == ' ';
  }
  char code16() const { return bytes[hdr::kCode16]; }
  unsigned char code8() const { return static_cast<unsigned char>(bytes[hdr::kCode8]); }
  std::string Bpid() const;          // bytes 73–80, trimmed
  std::string InfoCategory() const;  // bytes 93–96, trimmed
  std::string_view view() const { return {bytes.data(), bytes.size()}; }
};

// The trailer body: the message count with five digits, then spaces.
std::string TrailerRecord(int messageCount);
// Message count of a trailer body (nullopt when its first five bytes are not digits).
std::optional<int> TrailerCount(std::string_view body);

// "0C" + header body, "0E" + trailer body (251 bytes each).
std::string HeaderBlock(const CiiHeaderRecord& header);
std::string TrailerBlock(int messageCount);

// TFD encoding. Each returns false (appending nothing) when the value has no encoding.
// Tag: one byte in one-byte mode (0–239); two bytes (0–0xEFFF) or 0xF1–0xF7 + two bytes
// (0x10000–0x7FFFF) in extended mode.
bool AppendTag(std::string& tfd, long long itemNo, bool extended);
// Length: one byte below 240, else 0xF2 and two bytes (up to 65535).
bool AppendLength(std::string& tfd, std::size_t length);

// Five digits with leading zeros.
std::string MessageNumberField(int number);

// What the two lead bytes of a block say.
enum class BlockLead { Header, Trailer, Message, OtherZero, BadFirst, BadSecond };
BlockLead ClassifyLead(std::string_view lead);

// Tells, lead by lead, whether a file is CII at all: a lead that starts no block (another
// "0" block, a bad lead) before the first header, or more of them in a row than fill a
// block, mean it is not, so that a reader stops at once with a code instead of logging its
// way through the whole file.
class StrayLeads {
 public:
  static constexpr int kMaxInARow = 125;  // 250 bytes: a whole block without a block start
  void Block() { inARow_ = 0; }
  // A lead that starts no block; true when the file is not CII.
  bool NotCii(bool headerSeen) { return !headerSeen || ++inARow_ > kMaxInARow; }

 private:
  int inARow_ = 0;
};

}  // namespace edi::cii
