// Decoding CP932 (Windows Shift_JIS) text to UTF-8 fast, with the system converter's own
// mapping: each character's UTF-8 form is looked up in tables that are filled once, from
// the platform's CP932 converter, character by character. Runs of ASCII are copied as they are.
// Shift_JIS carries no state between characters, so the result is the converter's result.
#pragma once

#include <cstddef>

namespace edi {

class Cp932Decoder {
 public:
  enum class Result {
    Ok,          // every byte was decoded (consumed == size)
    Incomplete,  // the last byte is a lead byte whose trail byte is not given yet
    Invalid,     // a byte (or pair) that CP932 does not map, at `consumed`
  };
  // Writes the UTF-8 form of bytes[0, consumed) to out, which has room for 3 * size bytes
  // (no byte gives more); returns through `written` how many it wrote.
  static Result Decode(const char* bytes, std::size_t size, char* out, std::size_t& written, std::size_t& consumed);
};

}  // namespace edi
