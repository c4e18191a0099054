// Byte helpers for Shift_JIS (Windows code page 932) text held as bytes in std::string:
// character boundaries, fixed byte fields, full-width conversion, and the two-byte code
// conversions between Shift_JIS ("M"), JIS X 0208 ("S") and UCS-2 big-endian ("U").
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "app/sjis_bytes.h"  // IsLeadByte, IsTrailByte, IsSingleByteChar, EightAscii

namespace edi::cii {

// Index of the first byte that belongs to no well-formed character (a single byte, or a lead
// byte followed by a trail byte); npos when none.
std::size_t FirstBrokenShiftJisByte(std::string_view bytes);
// True when every byte belongs to a well-formed character.
bool IsWellFormedShiftJis(std::string_view bytes);
// True when every byte is a single-byte character (no double-byte character at all).
bool IsSingleByteText(std::string_view bytes);

// count bytes from the 1-based byte position start (to the end when count < 0). A start
// below 1 or beyond the end gives an empty text; a count past the end stops at the end.
std::string MidBytes(std::string_view bytes, long long start, long long count = -1);

// The first n bytes, never ending inside a double-byte character (a character whose trail
// byte would fall beyond n is left out).
std::string LeftBytesWhole(std::string_view bytes, std::size_t n);

// A fixed byte field filled from the text: left-aligned, padded with spaces, cut at the
// field width. A double-byte character whose trail byte would not fit gets a space instead.
struct ByteField {
  std::string bytes;  // exactly the field width
  int flags = 0;      // 1 single-byte stored, 2 double-byte stored (OR of both)
};
ByteField StoreTextInByteField(std::size_t width, std::string_view text);

// Byte count of LeftBytesWhole(bytes, n), without copying.
std::size_t LeftBytesWholeLength(std::string_view bytes, std::size_t n);

// Letters, digits, symbols, the space and half-width katakana (a voiced or semi-voiced mark
// joined to the kana before it) become their full-width forms; other characters stay.
std::string ToFullWidth(std::string_view sjis);
// The same, appended to out (which keeps its capacity between calls).
void AppendFullWidth(std::string& out, std::string_view sjis);

// Leading and trailing ASCII spaces removed.
std::string TrimSpaceBytes(std::string_view bytes);
// The same as a view into the bytes (inline: every text field of a message goes through it).
inline std::string_view TrimSpaceView(std::string_view bytes) {
  std::size_t from = 0, to = bytes.size();
  while (from < to && bytes[from] == ' ') ++from;
  while (to > from && bytes[to - 1] == ' ') --to;
  return bytes.substr(from, to - from);
}

// Two-byte code conversions. Single-byte characters are kept as they are by the JIS forms.
std::string ShiftJisToJis(std::string_view sjis);   // each double-byte char → its JIS row/cell bytes
std::string JisToShiftJis(std::string_view jis);    // pairs of JIS bytes → Shift_JIS characters
std::string ShiftJisToUcs2(std::string_view sjis);  // UCS-2 big-endian; broken bytes become U+FFFD
std::string Ucs2ToShiftJis(std::string_view ucs2);  // a character CP932 lacks becomes "?"

// Double-byte text from one code letter ("M", "S", "U") to another; an unknown letter or an
// equal pair leaves the bytes unchanged.
std::string ConvertDoubleByteCodes(std::string_view bytes, char from, char to);

}  // namespace edi::cii

namespace edi::cii {

// Where the characters of a well-formed Shift_JIS line begin, for cutting fixed fields out of
// it. A byte follows a character boundary when the byte before it cannot be a lead byte; a
// short run of bytes that can be lead bytes is counted back; only a long one needs the line
// read from its start, and that is done once per line.
class ShiftJisLine {
 public:
  void Reset(std::string_view line) {
    line_ = line;
    mapped_ = false;
  }
  // True when a character begins at the 0-based offset (the line's end counts as one).
  // Inline for the usual case: the byte before the offset cannot be a lead byte.
  bool StartsCharacter(std::size_t offset) {
    if (offset == 0 || offset >= line_.size() || !IsLeadByte(static_cast<unsigned char>(line_[offset - 1])))
      return true;
    return StartsAfterLeadRange(offset);
  }
  // count bytes from the offset (cut at the line's end; empty beyond it), never half a
  // character: a trail byte at the field's start whose lead byte lies before the field, and
  // a lead byte at its end whose trail byte lies beyond it, each become a space, so the
  // field keeps its width. scratch holds the bytes when one had to be replaced.
  std::string_view Field(std::size_t offset, std::size_t count, std::string& scratch) {
    if (offset >= line_.size() || count == 0) return {};
    const std::size_t n = std::min(count, line_.size() - offset);
    if (StartsCharacter(offset) && StartsCharacter(offset + n)) return line_.substr(offset, n);
    return FieldWithHalves(offset, n, scratch);
  }

 private:
  bool StartsAfterLeadRange(std::size_t offset);
  std::string_view FieldWithHalves(std::size_t offset, std::size_t n, std::string& scratch);
  static constexpr std::size_t kShortRun = 64;
  bool Mapped(std::size_t offset);
  std::string_view line_;
  std::vector<bool> starts_;  // starts_[i]: a character begins at byte i (filled when mapped_)
  bool mapped_ = false;
};

}  // namespace edi::cii
