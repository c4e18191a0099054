#include "cii/message_writer.h"

#include <cstdio>

#include "cii/format.h"
#include "cii/item_table.h"

namespace edi::cii {

std::string BuildMessageStream(int number, std::string_view tfd) {
  std::string s;
  std::size_t n = tfd.size();
  if (n <= kMaxShortTfd) {
    s.reserve(n + 10);
    s += "9D";
    s += MessageNumberField(number);
    std::size_t len = n + 9;
    s += static_cast<char>(len >> 8);
    s += static_cast<char>(len & 0xFF);
  } else {
    long long len = static_cast<long long>(n) + 17;
    if (len > kMaxLongStream) return {};
    s.reserve(n + 18);
    s += "9D";
    s += MessageNumberField(number);
    s += "\x80\x80\xF7";
    char digits[32];
    std::snprintf(digits, sizeof digits, "%07lld", len);
    s += digits;
  }
  s.append(tfd);
  s += static_cast<char>(kMessageEnd);
  return s;
}

bool WriteMessageBlocks(std::ostream& out, std::string_view stream, char storageMode) {
  std::size_t block = BlockSizeFor(storageMode);
  if (block == 0 || stream.empty()) return false;
  std::size_t carried = block - 1;  // stream bytes per block after the lead digit
  std::size_t pos = 1;              // stream[0] is the "9" that the last block keeps
  char counter = '1';
  while (stream.size() - pos + 1 > block) {
    out.put(counter);
    out.write(stream.data() + pos, static_cast<std::streamsize>(carried));
    pos += carried;
    counter = counter == '8' ? '1' : static_cast<char>(counter + 1);
  }
  out.put('9');
  std::size_t rest = stream.size() - pos;
  out.write(stream.data() + pos, static_cast<std::streamsize>(rest));
  if (block == kSmallBlock)
    for (std::size_t i = rest + 1; i < block; ++i) out.put(' ');
  return true;
}

GroupStartResult AppendGroupStart(std::string& tfd, const std::string& multiDetail, bool& extended) {
  std::optional<MultiDetailCode> code = EncodeMultiDetail(multiDetail);
  bool numbered = LeadingNumber(multiDetail) != 0;
  if (extended && !code) return GroupStartResult::BadMultiDetail;
  if (numbered && code) {
    // A numbered group can only be named with extended tags: switch them on.
    tfd += static_cast<char>(kExtendedTags);
    extended = true;
  }
  if (!extended) {
    tfd += static_cast<char>(kGroupStart);  // the unnumbered group of one-byte tag mode
    return GroupStartResult::Ok;
  }
  if (code->twoByte) {
    tfd += static_cast<char>(kGroupStart16);
    tfd += static_cast<char>(code->value >> 8);
    tfd += static_cast<char>(code->value & 0xFF);
  } else {
    tfd += static_cast<char>(kGroupStart);
    tfd += static_cast<char>(code->value);
  }
  return GroupStartResult::Ok;
}

}  // namespace edi::cii
