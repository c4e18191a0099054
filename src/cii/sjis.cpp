#include "cii/sjis.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "app/text.h"

namespace edi::cii {


namespace {

// What a byte may be in Shift_JIS, by table: 0 a character of its own, 1 a lead byte, 2 never
// the first byte of a character; and whether it may follow a lead byte.
struct ShiftJisByteClasses {
  unsigned char first[256];
  bool trail[256];
  constexpr ShiftJisByteClasses() : first(), trail() {
    for (int b = 0; b < 256; ++b) {
      const auto c = static_cast<unsigned char>(b);
      first[b] = IsSingleByteChar(c) ? 0 : IsLeadByte(c) ? 1 : 2;
      trail[b] = IsTrailByte(c);
    }
  }
};
constexpr ShiftJisByteClasses kShiftJisBytes;

}  // namespace

std::size_t FirstBrokenShiftJisByte(std::string_view bytes) {
  const std::size_t n = bytes.size();
  const char* p = bytes.data();
  std::size_t i = 0;
  while (i < n) {
    const auto b = static_cast<unsigned char>(p[i]);
    if (b < 0x80) {
      // Runs of ASCII, the bulk of most lines, are passed over eight bytes at a time.
      i += i + 8 <= n && EightAscii(p + i) ? 8 : 1;
      continue;
    }
    const unsigned char kind = kShiftJisBytes.first[b];
    if (kind == 0) {
      ++i;
      continue;
    }
    if (kind == 2 || i + 1 >= n || !kShiftJisBytes.trail[static_cast<unsigned char>(p[i + 1])]) return i;
    i += 2;
  }
  return std::string_view::npos;
}

bool IsWellFormedShiftJis(std::string_view bytes) { return FirstBrokenShiftJisByte(bytes) == std::string_view::npos; }

bool IsSingleByteText(std::string_view bytes) {
  for (char c : bytes)
    if (!IsSingleByteChar(static_cast<unsigned char>(c))) return false;
  return true;
}

std::string MidBytes(std::string_view bytes, long long start, long long count) {
  if (start < 1 || static_cast<unsigned long long>(start) > bytes.size()) return {};
  std::size_t from = static_cast<std::size_t>(start - 1);
  std::size_t n = count < 0 ? std::string_view::npos : static_cast<std::size_t>(count);
  return std::string(bytes.substr(from, n));
}

std::size_t LeftBytesWholeLength(std::string_view bytes, std::size_t n) {
  if (bytes.size() <= n) return bytes.size();  // nothing to cut
  std::size_t i = 0;
  while (i < bytes.size()) {
    std::size_t w = IsLeadByte(static_cast<unsigned char>(bytes[i])) && i + 1 < bytes.size() ? 2 : 1;
    if (i + w > n) break;
    i += w;
  }
  return i;
}

std::string LeftBytesWhole(std::string_view bytes, std::size_t n) {
  return std::string(bytes.substr(0, LeftBytesWholeLength(bytes, n)));
}

ByteField StoreTextInByteField(std::size_t width, std::string_view text) {
  ByteField f;
  f.bytes.assign(width, ' ');
  std::size_t i = 0;
  while (i < width && i < text.size()) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    if (IsLeadByte(b) && i + 1 < text.size()) {
      if (i + 1 >= width) break;  // the trail byte would not fit: the field keeps a space here
      f.bytes[i] = text[i];
      f.bytes[i + 1] = text[i + 1];
      f.flags |= 2;
      i += 2;
    } else {
      f.bytes[i] = text[i];
      f.flags |= 1;
      ++i;
    }
  }
  return f;
}

std::string TrimSpaceBytes(std::string_view bytes) { return std::string(TrimSpaceView(bytes)); }

namespace {

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string SjisOf(char32_t cp) {
  std::string u;
  AppendUtf8(u, cp);
  return ToAnsiBytes(u);
}

// Full-width forms of the half-width katakana 0xA1–0xDF, in byte order.
constexpr char32_t kKanaFull[63] = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9, 0x30E3, 0x30E5,
    0x30E7, 0x30C3, 0x30FC, 0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB, 0x30AD, 0x30AF, 0x30B1, 0x30B3,
    0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1, 0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC,
    0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5, 0x30D8, 0x30DB, 0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4,
    0x30E6, 0x30E8, 0x30E9, 0x30EA, 0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, 0x309B, 0x309C};

// The Shift_JIS bytes of one full-width character, held in place (no allocation to append).
struct Wide {
  char bytes[4] = {};
  unsigned char size = 0;
  Wide() = default;
  explicit Wide(const std::string& s) {
    size = static_cast<unsigned char>(std::min<std::size_t>(s.size(), sizeof bytes));
    std::memcpy(bytes, s.data(), size);
  }
  bool empty() const { return size == 0; }
};

struct WideTables {
  std::array<Wide, 95> ascii;   // 0x20–0x7E
  std::array<Wide, 63> kana;    // 0xA1–0xDF
  std::array<Wide, 63> voiced;  // kana + ﾞ, empty when it has no voiced form
  std::array<Wide, 63> semi;    // kana + ﾟ
  WideTables() {
    ascii[0] = Wide(SjisOf(0x3000));
    for (int c = 0x21; c <= 0x7E; ++c) ascii[c - 0x20] = Wide(SjisOf(0xFF01 + (c - 0x21)));
    for (int b = 0xA1; b <= 0xDF; ++b) {
      int k = b - 0xA1;
      kana[k] = Wide(SjisOf(kKanaFull[k]));
      if ((b >= 0xB6 && b <= 0xC4) || (b >= 0xCA && b <= 0xCE)) voiced[k] = Wide(SjisOf(kKanaFull[k] + 1));
      if (b == 0xB3) voiced[k] = Wide(SjisOf(0x30F4));
      if (b >= 0xCA && b <= 0xCE) semi[k] = Wide(SjisOf(kKanaFull[k] + 2));
    }
  }
};

inline void Append(std::string& out, const Wide& w) { out.append(w.bytes, w.size); }

const WideTables& Tables() {
  static const WideTables tables;
  return tables;
}

}  // namespace

void AppendFullWidth(std::string& out, std::string_view sjis) {
  const WideTables& t = Tables();
  out.reserve(out.size() + sjis.size() * 2);
  for (std::size_t i = 0; i < sjis.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(sjis[i]);
    if (b >= 0x20 && b <= 0x7E) {
      Append(out, t.ascii[b - 0x20]);
    } else if (b >= 0xA1 && b <= 0xDF) {
      int k = b - 0xA1;
      unsigned char next = i + 1 < sjis.size() ? static_cast<unsigned char>(sjis[i + 1]) : 0;
      if (next == 0xDE && !t.voiced[k].empty()) {
        Append(out, t.voiced[k]);
        ++i;
      } else if (next == 0xDF && !t.semi[k].empty()) {
        Append(out, t.semi[k]);
        ++i;
      } else {
        Append(out, t.kana[k]);
      }
    } else if (IsLeadByte(b) && i + 1 < sjis.size()) {
      out.append(sjis.data() + i, 2);
      ++i;
    } else {
      out += static_cast<char>(b);
    }
  }
}

std::string ToFullWidth(std::string_view sjis) {
  std::string out;
  AppendFullWidth(out, sjis);
  return out;
}

std::string ShiftJisToJis(std::string_view sjis) {
  std::string out;
  out.reserve(sjis.size());
  for (std::size_t i = 0; i < sjis.size(); ++i) {
    unsigned s1 = static_cast<unsigned char>(sjis[i]);
    if (!IsLeadByte(s1) || i + 1 >= sjis.size()) {
      out += static_cast<char>(s1);
      continue;
    }
    unsigned s2 = static_cast<unsigned char>(sjis[++i]);
    s1 = s1 < 0xA0 ? s1 - 0x71 : s1 - 0xB1;
    s1 = s1 * 2 + 1;
    if (s2 > 0x7F) s2 -= 1;
    if (s2 > 0x9D) {
      s2 -= 0x7D;
      s1 += 1;
    } else {
      s2 -= 0x1F;
    }
    out += static_cast<char>(s1 & 0xFF);
    out += static_cast<char>(s2 & 0xFF);
  }
  return out;
}

std::string JisToShiftJis(std::string_view jis) {
  std::string out;
  out.reserve(jis.size());
  std::size_t i = 0;
  for (; i + 1 < jis.size(); i += 2) {
    unsigned j1 = static_cast<unsigned char>(jis[i]);
    unsigned j2 = static_cast<unsigned char>(jis[i + 1]);
    if (j1 & 1) {
      j2 += 0x1F;
    } else {
      j1 -= 1;
      j2 += 0x7D;
    }
    if (j2 > 0x7E) j2 += 1;
    unsigned s1 = (j1 - 0x21) / 2 + 0x81;
    if (s1 >= 0xA0) s1 += 0x40;
    out += static_cast<char>(s1 & 0xFF);
    out += static_cast<char>(j2 & 0xFF);
  }
  if (i < jis.size()) out += jis[i];  // a lone last byte is kept, not dropped
  return out;
}

std::string ShiftJisToUcs2(std::string_view sjis) {
  std::string utf8 = FromAnsiBytes(sjis);
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    char32_t cp;
    int n;
    if (c < 0x80) { cp = c; n = 1; }
    else if ((c >> 5) == 6) { cp = c & 0x1F; n = 2; }
    else if ((c >> 4) == 14) { cp = c & 0x0F; n = 3; }
    else { cp = c & 0x07; n = 4; }
    for (int k = 1; k < n && i + k < utf8.size(); ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += n;
    if (cp > 0xFFFF) cp = 0xFFFD;  // UCS-2 holds the basic plane only (CP932 never leaves it)
    out += static_cast<char>(cp >> 8);
    out += static_cast<char>(cp & 0xFF);
  }
  return out;
}

std::string Ucs2ToShiftJis(std::string_view ucs2) {
  std::string utf8;
  for (std::size_t i = 0; i + 1 < ucs2.size(); i += 2) {
    char32_t cp = (static_cast<unsigned char>(ucs2[i]) << 8) | static_cast<unsigned char>(ucs2[i + 1]);
    if (cp >= 0xD800 && cp <= 0xDFFF) cp = '?';
    AppendUtf8(utf8, cp);
  }
  return ToAnsiBytes(utf8);
}

std::string ConvertDoubleByteCodes(std::string_view bytes, char from, char to) {
  if (from == to) return std::string(bytes);
  std::string sjis;
  switch (from) {
    case 'M': sjis = std::string(bytes); break;
    case 'S': sjis = JisToShiftJis(bytes); break;
    case 'U': sjis = Ucs2ToShiftJis(bytes); break;
    default: return std::string(bytes);
  }
  switch (to) {
    case 'M': return sjis;
    case 'S': return ShiftJisToJis(sjis);
    case 'U': return ShiftJisToUcs2(sjis);
    default: return std::string(bytes);
  }
}

}  // namespace edi::cii

namespace edi::cii {

bool ShiftJisLine::StartsAfterLeadRange(std::size_t offset) {
  // The bytes before the offset that can be lead bytes: the first of them begins a character
  // (the byte before it cannot be a lead byte, so it ends one), and from there they pair up
  // as lead and trail bytes; the offset begins a character when their number is even.
  std::size_t run = 0;
  while (run < offset && IsLeadByte(static_cast<unsigned char>(line_[offset - 1 - run]))) {
    if (++run > kShortRun) return Mapped(offset);  // a long run: the whole line, once
  }
  return run % 2 == 0;
}

bool ShiftJisLine::Mapped(std::size_t offset) {
  if (!mapped_) {
    starts_.assign(line_.size(), false);
    for (std::size_t i = 0; i < line_.size(); ++i) {
      starts_[i] = true;
      if (IsLeadByte(static_cast<unsigned char>(line_[i]))) ++i;
    }
    mapped_ = true;
  }
  return starts_[offset];
}

std::string_view ShiftJisLine::FieldWithHalves(std::size_t offset, std::size_t n, std::string& scratch) {
  const bool halfAtStart = !StartsCharacter(offset);
  const bool halfAtEnd = !StartsCharacter(offset + n);
  if (!halfAtStart && !halfAtEnd) return line_.substr(offset, n);
  scratch.assign(line_.substr(offset, n));
  if (halfAtStart) scratch.front() = ' ';
  if (halfAtEnd) scratch.back() = ' ';
  return scratch;
}

}  // namespace edi::cii
