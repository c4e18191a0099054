// Character-set conversion between UTF-8 and the encodings the workstation's files use:
// CP932 (Windows Shift_JIS, every local file and CII value), UTF-16LE and ISO-2022-JP (XML
// documents). One Converter is one direction; it keeps the shift state between calls.
//
// Both builds map CP932 alike, byte for byte: 0x5C and 0x7E are the ASCII backslash and
// tilde, 0x80, 0xA0 and 0xFD–0xFF are not characters, and the characters that Unicode
// holds twice (U+00A5/U+203E, the wave dash U+301C, the minus sign U+2212, U+2014, U+2016,
// U+00A2, U+00A3, U+00AC) are written as their CP932 counterparts (0x5C, 0x7E, 0x8160,
// 0x817C, 0x815C, 0x8161, 0x8191, 0x8192, 0x81CA), while reading gives the one form each.
#pragma once

#include <cstddef>
#include <memory>

namespace edi::platform {

enum class Charset { Utf8, Cp932, Utf16Le, Iso2022Jp };

class Converter {
 public:
  // Throws std::runtime_error when the system cannot convert between the two.
  Converter(Charset to, Charset from);
  ~Converter();
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  enum class Status {
    Done,        // every input byte was converted
    Full,        // the output has no room for the next character
    Invalid,     // the input at `in` is not a character of the source, or the target lacks it
    Incomplete,  // the input ends in the middle of a character
  };
  // Converts from `in` into `out`, advancing both and lowering the counts by what was used.
  Status Convert(const char*& in, std::size_t& inLeft, char*& out, std::size_t& outLeft);
  // Writes what brings the output back to its initial shift state (ISO-2022-JP's escape)
  // and resets the converter; call it at the end of every text.
  void Finish(char*& out, std::size_t& outLeft);
  // Forgets any shift state without writing anything.
  void Reset();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace edi::platform
