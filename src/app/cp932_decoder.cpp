#include "app/cp932_decoder.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "app/sjis_bytes.h"
#include "platform/codec.h"

namespace edi {

namespace {

// One character's UTF-8 form (at most 3 bytes for what CP932 maps); size 0: not mapped.
struct Utf8Char {
  std::uint8_t size = 0;
  char bytes[3] = {};
};

struct Tables {
  std::array<Utf8Char, 256> single;           // bytes that are a character of their own
  std::array<Utf8Char, 60 * 256> pairs;        // lead bytes in order, then the trail byte

  static std::size_t LeadIndex(unsigned char lead) { return lead <= 0x9F ? lead - 0x81 : lead - 0xE0 + 31; }

  Tables() {
    platform::Converter cd(platform::Charset::Utf8, platform::Charset::Cp932);
    auto convert = [&cd](const char* in, std::size_t n, Utf8Char& c) {
      cd.Reset();
      const char* src = in;
      char out[8];
      char* dst = out;
      std::size_t left = n, room = sizeof out;
      if (cd.Convert(src, left, dst, room) != platform::Converter::Status::Done || left != 0) return;
      const std::size_t size = static_cast<std::size_t>(dst - out);
      if (size == 0 || size > sizeof c.bytes) return;
      c.size = static_cast<std::uint8_t>(size);
      std::memcpy(c.bytes, out, size);
    };
    for (int b = 0; b < 256; ++b) {
      const char byte = static_cast<char>(b);
      if (!IsLeadByte(static_cast<unsigned char>(b))) convert(&byte, 1, single[static_cast<std::size_t>(b)]);
    }
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
      if (!IsLeadByte(static_cast<unsigned char>(lead))) continue;
      for (int trail = 0; trail < 256; ++trail) {
        const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        convert(pair, 2, pairs[LeadIndex(static_cast<unsigned char>(lead)) * 256 + static_cast<std::size_t>(trail)]);
      }
    }
  }
};

const Tables& TablesOnce() {
  static const Tables tables;
  return tables;
}

}  // namespace

Cp932Decoder::Result Cp932Decoder::Decode(const char* bytes, std::size_t size, char* out, std::size_t& written,
                                          std::size_t& consumed) {
  const Tables& t = TablesOnce();
  char* dst = out;
  std::size_t i = 0;
  Result result = Result::Ok;
  while (i < size) {
    // ASCII, the bulk of a document's markup, eight bytes at a time.
    while (i + 8 <= size && EightAscii(bytes + i)) {
      std::memcpy(dst, bytes + i, 8);
      dst += 8;
      i += 8;
    }
    if (i >= size) break;
    const unsigned char b = static_cast<unsigned char>(bytes[i]);
    const Utf8Char* c;
    std::size_t width = 1;
    if (b < 0x80) {
      *dst++ = static_cast<char>(b);
      ++i;
      continue;
    }
    if (IsLeadByte(b)) {
      if (i + 1 >= size) {
        result = Result::Incomplete;
        break;
      }
      c = &t.pairs[Tables::LeadIndex(b) * 256 + static_cast<unsigned char>(bytes[i + 1])];
      width = 2;
    } else {
      c = &t.single[b];
    }
    if (c->size == 0) {
      result = Result::Invalid;
      break;
    }
    std::memcpy(dst, c->bytes, c->size);
    dst += c->size;
    i += width;
  }
  written = static_cast<std::size_t>(dst - out);
  consumed = i;
  return result;
}

}  // namespace edi
