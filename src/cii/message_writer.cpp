#include "cii/message_writer.h"

#include <algorithm>
#include <cstdio>

#include "cii/format.h"
#include "cii/item_table.h"

namespace edi::cii {

namespace {

// The bytes of a message stream before its TFD bytes; empty when the stream is too long.
std::string StreamPrefix(int number, std::size_t tfdSize) {
  std::string s;
  if (tfdSize <= kMaxShortTfd) {
    s += "9D";
    s += MessageNumberField(number);
    std::size_t len = tfdSize + 9;
    s += static_cast<char>(len >> 8);
    s += static_cast<char>(len & 0xFF);
  } else {
    long long len = static_cast<long long>(tfdSize) + 17;
    if (len > kMaxLongStream) return {};
    s += "9D";
    s += MessageNumberField(number);
    s += "\x80\x80\xF7";
    char digits[32];
    std::snprintf(digits, sizeof digits, "%07lld", len);
    s += digits;
  }
  return s;
}

// A stream held in up to three pieces (prefix, TFD bytes, end byte), written out in order.
class Pieces {
 public:
  Pieces(std::string_view a, std::string_view b, std::string_view c) : parts_{a, b, c} {}
  std::size_t size() const { return parts_[0].size() + parts_[1].size() + parts_[2].size(); }
  // Writes the next n bytes (out == nullptr: passes over them).
  void Write(std::ostream* out, std::size_t n) {
    while (n > 0 && part_ < 3) {
      std::string_view p = parts_[part_].substr(offset_);
      std::size_t take = std::min(n, p.size());
      if (out) out->write(p.data(), static_cast<std::streamsize>(take));
      n -= take;
      offset_ += take;
      if (offset_ == parts_[part_].size()) {
        ++part_;
        offset_ = 0;
      }
    }
  }

 private:
  std::string_view parts_[3];
  std::size_t part_ = 0, offset_ = 0;
};

// The blocks of a stream: the first byte (its "9") is the lead of the last block; every other
// block gets the counter 1–8 as its lead; 251-byte blocks are padded with spaces.
bool WriteBlocks(std::ostream& out, Pieces stream, char storageMode) {
  std::size_t block = BlockSizeFor(storageMode);
  const std::size_t total = stream.size();
  if (block == 0 || total == 0) return false;
  std::size_t carried = block - 1;  // stream bytes per block after the lead digit
  std::size_t pos = 1;              // stream[0] is the "9" that the last block keeps
  stream.Write(nullptr, 1);  // the "9", written as the last block's lead
  char counter = '1';
  while (total - pos + 1 > block) {
    out.put(counter);
    stream.Write(&out, carried);
    pos += carried;
    counter = counter == '8' ? '1' : static_cast<char>(counter + 1);
  }
  out.put('9');
  std::size_t rest = total - pos;
  stream.Write(&out, rest);
  if (block == kSmallBlock) {
    static const std::string kSpaces(kSmallBlock, ' ');
    out.write(kSpaces.data(), static_cast<std::streamsize>(block - rest - 1));
  }
  return true;
}

const char kEnd[1] = {static_cast<char>(kMessageEnd)};

}  // namespace

std::string BuildMessageStream(int number, std::string_view tfd) {
  std::string s = StreamPrefix(number, tfd.size());
  if (s.empty()) return {};
  s.reserve(s.size() + tfd.size() + 1);
  s.append(tfd);
  s += static_cast<char>(kMessageEnd);
  return s;
}

bool WriteMessageBlocks(std::ostream& out, std::string_view stream, char storageMode) {
  return WriteBlocks(out, Pieces(stream, {}, {}), storageMode);
}

MessageWriteResult WriteMessage(std::ostream& out, int number, std::string_view tfd, char storageMode) {
  std::string prefix = StreamPrefix(number, tfd.size());
  if (prefix.empty()) return MessageWriteResult::TooLong;
  if (!WriteBlocks(out, Pieces(prefix, tfd, std::string_view(kEnd, 1)), storageMode))
    return MessageWriteResult::BadStorageMode;
  return MessageWriteResult::Ok;
}

GroupStartBytes GroupStartFor(const std::string& multiDetail, bool extended) {
  GroupStartBytes start;
  auto put = [&start](int byte) { start.bytes[start.size++] = static_cast<char>(byte); };
  std::optional<MultiDetailCode> code = EncodeMultiDetail(multiDetail);
  const bool numbered = LeadingNumber(multiDetail) != 0;
  if (extended && !code) {
    start.result = GroupStartResult::BadMultiDetail;
    start.extendedAfter = extended;
    return start;
  }
  if (numbered && code) {
    // A numbered group can only be named with extended tags: switch them on.
    put(kExtendedTags);
    extended = true;
  }
  start.extendedAfter = extended;
  if (!extended) {
    put(kGroupStart);  // the unnumbered group of one-byte tag mode
  } else if (code->twoByte) {
    put(kGroupStart16);
    put(code->value >> 8);
    put(code->value & 0xFF);
  } else {
    put(kGroupStart);
    put(code->value);
  }
  return start;
}

GroupStartResult AppendGroupStart(std::string& tfd, const std::string& multiDetail, bool& extended) {
  const GroupStartBytes start = GroupStartFor(multiDetail, extended);
  if (start.result != GroupStartResult::Ok) return start.result;
  tfd.append(start.bytes, start.size);
  extended = start.extendedAfter;
  return GroupStartResult::Ok;
}

}  // namespace edi::cii
