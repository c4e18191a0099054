// The converters over Windows code page 932, made to map exactly as the POSIX build (glibc's
// "CP932") does. The tables are filled once from MultiByteToWideChar and WideCharToMultiByte,
// character by character, and then corrected where Windows' table differs from glibc's:
//   - the single bytes 0x80, 0xA0 and 0xFD-0xFF are no characters (Windows maps them to
//     U+0080 and U+F8F0-U+F8F3);
//   - U+00A5, U+203E, U+301C, U+2212, U+2014, U+2016, U+00A2, U+00A3 and U+00AC are written
//     as the CP932 characters they stand for (Windows refuses them without its "best fit").
// UTF-8 and UTF-16LE are converted here; ISO-2022-JP is not available on this side.
#include "platform/codec.h"

#include <array>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "platform/windows/win_text.h"

namespace edi::platform {
namespace {

constexpr std::uint16_t kNone = 0xFFFF;  // a noncharacter: "not mapped" in the tables

bool IsLead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
std::size_t LeadIndex(unsigned char lead) { return lead <= 0x9F ? lead - 0x81u : lead - 0xE0u + 31u; }

struct Cp932Tables {
  std::array<std::uint16_t, 256> single{};
  std::vector<std::uint16_t> pairs = std::vector<std::uint16_t>(60 * 256, kNone);
  // For every BMP code point: the CP932 bytes (one byte < 0x100, two bytes lead * 256 + trail).
  std::vector<std::uint16_t> encode = std::vector<std::uint16_t>(0x10000, kNone);

  Cp932Tables() {
    single.fill(kNone);
    for (int b = 0; b < 0x80; ++b) single[b] = static_cast<std::uint16_t>(b);
    for (int b = 0x80; b < 0x100; ++b) {
      if (IsLead(static_cast<unsigned char>(b)) || b == 0x80 || b == 0xA0 || b >= 0xFD) continue;
      single[b] = Decode(static_cast<char>(b), 0, 1);
    }
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
      if (!IsLead(static_cast<unsigned char>(lead))) continue;
      for (int trail = 0x40; trail <= 0xFC; ++trail) {
        if (trail == 0x7F) continue;
        pairs[LeadIndex(static_cast<unsigned char>(lead)) * 256 + trail] =
            Decode(static_cast<char>(lead), static_cast<char>(trail), 2);
      }
    }
    for (unsigned cp = 0; cp < 0x10000; ++cp) {
      if (cp >= 0xD800 && cp <= 0xDFFF) continue;
      const wchar_t w = static_cast<wchar_t>(cp);
      char bytes[4];
      BOOL usedDefault = FALSE;
      const int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, &w, 1, bytes, sizeof bytes, nullptr, &usedDefault);
      if (usedDefault || n < 1 || n > 2) continue;
      const std::uint16_t code = n == 1 ? static_cast<unsigned char>(bytes[0])
                                        : static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[0]) << 8 |
                                                                     static_cast<unsigned char>(bytes[1]));
      // Only what reads back as the same character (and is a character in the tables above).
      if (DecodeCode(code) == cp) encode[cp] = code;
    }
    const std::pair<unsigned, std::uint16_t> alike[] = {
        {0x00A5, 0x5C},   {0x203E, 0x7E},   {0x301C, 0x8160}, {0x2212, 0x817C}, {0x2014, 0x815C},
        {0x2016, 0x8161}, {0x00A2, 0x8191}, {0x00A3, 0x8192}, {0x00AC, 0x81CA},
    };
    for (const auto& [cp, code] : alike) encode[cp] = code;
  }

  std::uint16_t DecodeCode(std::uint16_t code) const {
    if (code < 0x100) return single[code];
    return pairs[LeadIndex(static_cast<unsigned char>(code >> 8)) * 256 + (code & 0xFF)];
  }

  static std::uint16_t Decode(char first, char second, int size) {
    const char bytes[2] = {first, second};
    wchar_t w[4];
    const int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes, size, w, 4);
    if (n != 1) return kNone;
    return static_cast<std::uint16_t>(w[0]);
  }
};

const Cp932Tables& Tables() {
  static const Cp932Tables tables;
  return tables;
}

enum class Read { Ok, Invalid, Incomplete };

// One character of the source: its code point and its size in bytes.
Read ReadUtf8(const unsigned char* p, std::size_t left, char32_t& cp, std::size_t& size) {
  const unsigned char c = p[0];
  if (c < 0x80) {
    cp = c;
    size = 1;
    return Read::Ok;
  }
  char32_t min;
  if (c >= 0xC2 && c <= 0xDF) size = 2, cp = c & 0x1F, min = 0x80;
  else if (c >= 0xE0 && c <= 0xEF) size = 3, cp = c & 0x0F, min = 0x800;
  else if (c >= 0xF0 && c <= 0xF4) size = 4, cp = c & 0x07, min = 0x10000;
  else return Read::Invalid;
  for (std::size_t i = 1; i < size; ++i) {
    if (i >= left) return Read::Incomplete;
    if ((p[i] & 0xC0) != 0x80) return Read::Invalid;
    cp = cp << 6 | (p[i] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return Read::Invalid;
  return Read::Ok;
}

Read ReadCp932(const unsigned char* p, std::size_t left, char32_t& cp, std::size_t& size) {
  const Cp932Tables& t = Tables();
  std::uint16_t u;
  if (IsLead(p[0])) {
    if (left < 2) return Read::Incomplete;
    size = 2;
    u = t.pairs[LeadIndex(p[0]) * 256 + p[1]];
  } else {
    size = 1;
    u = t.single[p[0]];
  }
  if (u == kNone) return Read::Invalid;
  cp = u;
  return Read::Ok;
}

Read ReadUtf16(const unsigned char* p, std::size_t left, char32_t& cp, std::size_t& size) {
  if (left < 2) return Read::Incomplete;
  const char32_t first = p[0] | p[1] << 8;
  if (first < 0xD800 || first > 0xDFFF) {
    cp = first;
    size = 2;
    return Read::Ok;
  }
  if (first > 0xDBFF) return Read::Invalid;
  if (left < 4) return Read::Incomplete;
  const char32_t second = p[2] | p[3] << 8;
  if (second < 0xDC00 || second > 0xDFFF) return Read::Invalid;
  cp = 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00);
  size = 4;
  return Read::Ok;
}

// The character in the target's bytes; false when the target cannot hold it.
bool WriteUtf8(char32_t cp, char* out, std::size_t& size) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    size = 1;
  } else if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | cp >> 6);
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    size = 2;
  } else if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | cp >> 12);
    out[1] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    size = 3;
  } else {
    out[0] = static_cast<char>(0xF0 | cp >> 18);
    out[1] = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    size = 4;
  }
  return true;
}

bool WriteCp932(char32_t cp, char* out, std::size_t& size) {
  if (cp >= 0x10000) return false;
  const std::uint16_t code = Tables().encode[cp];
  if (code == kNone) return false;
  if (code < 0x100) {
    out[0] = static_cast<char>(code);
    size = 1;
  } else {
    out[0] = static_cast<char>(code >> 8);
    out[1] = static_cast<char>(code & 0xFF);
    size = 2;
  }
  return true;
}

bool WriteUtf16(char32_t cp, char* out, std::size_t& size) {
  auto unit = [&](char32_t u, std::size_t at) {
    out[at] = static_cast<char>(u & 0xFF);
    out[at + 1] = static_cast<char>(u >> 8);
  };
  if (cp < 0x10000) {
    unit(cp, 0);
    size = 2;
  } else {
    unit(0xD800 + ((cp - 0x10000) >> 10), 0);
    unit(0xDC00 + ((cp - 0x10000) & 0x3FF), 2);
    size = 4;
  }
  return true;
}

using Reader = Read (*)(const unsigned char*, std::size_t, char32_t&, std::size_t&);
using Writer = bool (*)(char32_t, char*, std::size_t&);

Reader ReaderOf(Charset c) {
  switch (c) {
    case Charset::Utf8: return ReadUtf8;
    case Charset::Cp932: return ReadCp932;
    case Charset::Utf16Le: return ReadUtf16;
    case Charset::Iso2022Jp: break;
  }
  throw std::runtime_error("ISO-2022-JP conversion is not available in the Windows build");
}

Writer WriterOf(Charset c) {
  switch (c) {
    case Charset::Utf8: return WriteUtf8;
    case Charset::Cp932: return WriteCp932;
    case Charset::Utf16Le: return WriteUtf16;
    case Charset::Iso2022Jp: break;
  }
  throw std::runtime_error("ISO-2022-JP conversion is not available in the Windows build");
}

}  // namespace

struct Converter::State {
  Reader read;
  Writer write;
};

Converter::Converter(Charset to, Charset from) : state_(std::make_unique<State>(State{ReaderOf(from), WriterOf(to)})) {}

Converter::~Converter() = default;

Converter::Status Converter::Convert(const char*& in, std::size_t& inLeft, char*& out, std::size_t& outLeft) {
  while (inLeft > 0) {
    char32_t cp = 0;
    std::size_t size = 0;
    const Read r = state_->read(reinterpret_cast<const unsigned char*>(in), inLeft, cp, size);
    if (r == Read::Invalid) return Status::Invalid;
    if (r == Read::Incomplete) return Status::Incomplete;
    char bytes[4];
    std::size_t written = 0;
    if (!state_->write(cp, bytes, written)) return Status::Invalid;
    if (written > outLeft) return Status::Full;
    for (std::size_t i = 0; i < written; ++i) out[i] = bytes[i];
    out += written;
    outLeft -= written;
    in += size;
    inLeft -= size;
  }
  return Status::Done;
}

void Converter::Finish(char*&, std::size_t&) {}

void Converter::Reset() {}

}  // namespace edi::platform
