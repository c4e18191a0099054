// The byte classes of Shift_JIS (Windows code page 932), for the code that walks such text a
// byte at a time: the translator's field and line checks and the CP932 decoder.
#pragma once

#include <cstdint>
#include <cstring>

namespace edi {

constexpr bool IsLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
constexpr bool IsTrailByte(unsigned char b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }
// A byte that is a character on its own: ASCII and half-width katakana.
constexpr bool IsSingleByteChar(unsigned char b) { return b < 0x80 || (b >= 0xA1 && b <= 0xDF); }

// True when the eight bytes at p are all ASCII (runs of ASCII are passed over eight at a time).
inline bool EightAscii(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return (w & 0x8080808080808080ULL) == 0;
}

}  // namespace edi
