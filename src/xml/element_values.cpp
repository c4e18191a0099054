#include "xml/element_values.h"

#include <cctype>

#include "app/text.h"
#include "cii/field_conversion.h"
#include "cii/sjis.h"

namespace edi::xml {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view WithoutLeadingZeros(std::string_view digits) {
  const std::size_t nz = digits.find_first_not_of('0');
  return nz == std::string_view::npos ? std::string_view() : digits.substr(nz);
}

// A 6-character date gets its century: "20" for a year 00–50, "19" for 51–99.
std::string WithCentury(const std::string& date) {
  if (date.size() != 6 || !IsDigit(date[0]) || !IsDigit(date[1])) return date;
  const int year = (date[0] - '0') * 10 + (date[1] - '0');
  return (year <= 50 ? "20" : "19") + date;
}

// Left-pads with "0" to at least six characters.
std::string PadDate(const std::string& text) {
  const int chars = Utf8Length(text);
  return chars < 6 ? std::string(static_cast<std::size_t>(6 - chars), '0') + text : text;
}

// The rightmost n characters of a UTF-8 text.
std::string RightChars(const std::string& text, long long n) {
  if (n <= 0) return "";
  long long chars = Utf8Length(text);
  std::size_t pos = 0;
  while (chars > n && pos < text.size()) {
    ++pos;
    while (pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) ++pos;
    --chars;
  }
  return text.substr(pos);
}

std::string PlainNumber(const cii::DecimalValue& v, bool withFraction) {
  std::string out = v.negative ? "-" : "";
  out += v.intDigits.empty() ? "0" : v.intDigits;
  if (withFraction && !v.fracDigits.empty()) out += "." + v.fracDigits;
  return out;
}

std::string FromAnsi(std::string_view bytes, AnsiCodec* codec) {
  return codec ? codec->FromAnsi(bytes) : FromAnsiBytes(bytes);
}
std::string ToAnsi(std::string_view utf8, AnsiCodec* codec) { return codec ? codec->ToAnsi(utf8) : ToAnsiBytes(utf8); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string Ucs2BeToUtf8(std::string_view ucs2) {
  std::string out;
  auto put = [&out](char32_t cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  };
  std::size_t i = 0;
  for (; i + 1 < ucs2.size(); i += 2) {
    char32_t cp = (static_cast<unsigned char>(ucs2[i]) << 8) | static_cast<unsigned char>(ucs2[i + 1]);
    if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;  // UCS-2 has no surrogates
    put(cp);
  }
  if (i < ucs2.size()) put(0xFFFD);
  return out;
}

std::string Utf8ToUcs2Be(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b0 = static_cast<unsigned char>(utf8[i]);
    char32_t cp = 0xFFFD;
    std::size_t len = 1;
    if (b0 < 0x80) {
      cp = b0;
    } else if ((b0 & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
      cp = ((b0 & 0x1F) << 6) | (utf8[i + 1] & 0x3F);
      len = 2;
    } else if ((b0 & 0xF0) == 0xE0 && i + 2 < utf8.size()) {
      cp = ((b0 & 0x0F) << 12) | ((utf8[i + 1] & 0x3F) << 6) | (utf8[i + 2] & 0x3F);
      len = 3;
    } else if ((b0 & 0xF8) == 0xF0) {
      len = 4;  // beyond the 16-bit range
    }
    if (cp > 0xFFFF) cp = 0xFFFD;
    out += static_cast<char>(cp >> 8);
    out += static_cast<char>(cp & 0xFF);
    i += len;
  }
  return out;
}

std::string DecodeElementValue(const cii::CiiHeaderRecord& header, std::string_view bytes,
                               const cii::ItemFormat& item, AnsiCodec* codec) {
  const std::string& a = item.attribute;
  if (a == "9" || a == "X" || a == "N") return FromAnsi(bytes, codec);
  if (a == "Y") return WithCentury(PadDate(FromAnsi(bytes, codec)));
  if (a == "B") {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) {
      out += kHex[b >> 4];
      out += kHex[b & 0x0F];
    }
    return out;
  }
  if (a == "K") {
    const char code16 = header.code16();
    // UCS-2 goes straight to text: every character survives, also those CP932 lacks.
    if (code16 == 'U') return Ucs2BeToUtf8(bytes);
    if (code16 == 'M') return FromAnsi(bytes, codec);
    return FromAnsi(cii::ConvertDoubleByteCodes(bytes, code16, 'M'), codec);
  }
  return "";
}

std::optional<std::string> EncodeElementValue(const cii::CiiHeaderRecord& header, std::string_view text,
                                              const cii::ItemFormat& item, AnsiCodec* codec) {
  const std::string& a = item.attribute;
  if (a == "9") {
    // The usual value, plain digits: the number without its leading zeros (none for zero).
    if (AllDigits(text)) return std::string(WithoutLeadingZeros(text));
    const cii::DecimalValue v = cii::ParseDecimal(text);
    if (v.isZero()) return std::string();
    return PlainNumber(v, true);
  }
  if (a == "N" || a == "X") return ToAnsi(text, codec);
  if (a == "Y") {
    if (text.size() >= 7 && AllDigits(text)) {
      // A date with its century (or longer): no padding, no century, the rightmost 長さ
      // digits read as a number.
      const std::string_view kept = item.length <= 0 ? std::string_view()
                                    : text.size() > static_cast<std::size_t>(item.length)
                                        ? text.substr(text.size() - static_cast<std::size_t>(item.length))
                                        : text;
      const std::string_view number = WithoutLeadingZeros(kept);
      if (number == "20000000") return std::string();
      return std::string(number);
    }
    std::string date = RightChars(WithCentury(PadDate(std::string(text))), item.length);
    const cii::DecimalValue v = cii::ParseDecimal(date);
    if (v.intDigits.empty()) return std::string();
    const std::string number = PlainNumber(v, false);
    if (number == "20000000") return std::string();
    return number;
  }
  if (a == "B") {
    if (text.size() % 2 != 0) return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += 2) {
      const int hi = HexDigit(text[i]);
      const int lo = HexDigit(text[i + 1]);
      if (hi < 0 || lo < 0) return std::nullopt;
      out += static_cast<char>(hi * 16 + lo);
    }
    return out;
  }
  if (a == "K") {
    const char code16 = header.code16();
    // UCS-2 can hold what CP932 lacks: such a text goes straight to its codes.
    if (code16 == 'U' && !(codec ? codec->Representable(text) : IsAnsiRepresentable(text))) return Utf8ToUcs2Be(text);
    // Kanji items hold double-byte characters only: half-width text takes its full-width form.
    return cii::ConvertDoubleByteCodes(cii::ToFullWidth(ToAnsi(text, codec)), 'M', code16);
  }
  return std::string();
}

}  // namespace edi::xml
