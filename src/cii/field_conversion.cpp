#include "cii/field_conversion.h"

#include "cii/sjis.h"

namespace edi::cii {

namespace {

bool IsNumeric(const std::string& a) { return a == "N" || a == "9"; }

std::string StripLeadingZeros(std::string digits) {
  std::size_t nz = digits.find_first_not_of('0');
  return nz == std::string::npos ? std::string() : digits.substr(nz);
}

// The rightmost n bytes.
std::string Rightmost(const std::string& text, long long n) {
  if (n <= 0) return {};
  if (text.size() <= static_cast<std::size_t>(n)) return text;
  return text.substr(text.size() - static_cast<std::size_t>(n));
}

// Adds 1 to a string of decimal digits.
std::string Increment(std::string digits) {
  int i = static_cast<int>(digits.size()) - 1;
  for (; i >= 0; --i) {
    if (digits[i] == '9') {
      digits[i] = '0';
    } else {
      ++digits[i];
      return digits;
    }
  }
  return "1" + digits;
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// Padding with spaces (or cutting, never inside a double-byte character) to width bytes.
std::string FitBytes(std::string bytes, long long width, std::string_view pad = " ") {
  if (width <= 0) return {};
  std::size_t w = static_cast<std::size_t>(width);
  if (bytes.size() > w) bytes = LeftBytesWhole(bytes, w);
  while (bytes.size() + pad.size() <= w) bytes += pad;
  while (bytes.size() < w) bytes += ' ';
  return bytes;
}

}  // namespace

DecimalValue ParseDecimal(std::string_view text) {
  std::string s;
  for (char c : text)
    if (c != ' ') s += c;
  DecimalValue v;
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) v.negative = s[i++] == '-';
  bool point = false;
  std::string intDigits, fracDigits;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c >= '0' && c <= '9') {
      (point ? fracDigits : intDigits) += c;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  v.intDigits = StripLeadingZeros(intDigits);
  std::size_t last = fracDigits.find_last_not_of('0');
  v.fracDigits = last == std::string::npos ? std::string() : fracDigits.substr(0, last + 1);
  if (v.isZero()) v.negative = false;
  return v;
}

std::string ScaleAndFloor(const DecimalValue& v, int shift) {
  std::string digits = v.intDigits + v.fracDigits;
  long long point = static_cast<long long>(v.intDigits.size()) + shift;
  std::string whole, rest;
  if (point <= 0) {
    rest = digits;
  } else if (static_cast<std::size_t>(point) >= digits.size()) {
    whole = digits + std::string(static_cast<std::size_t>(point) - digits.size(), '0');
  } else {
    whole = digits.substr(0, static_cast<std::size_t>(point));
    rest = digits.substr(static_cast<std::size_t>(point));
  }
  bool fraction = rest.find_first_not_of('0') != std::string::npos;
  if (v.negative && fraction) whole = Increment(whole.empty() ? "0" : whole);
  whole = StripLeadingZeros(whole);
  if (whole.empty()) return "0";
  return v.negative ? "-" + whole : whole;
}

std::string EditValueForEdi(const ItemFormat& e, const ItemFormat& l, std::string_view extracted, char code16) {
  const std::string& a = e.attribute;
  if (IsNumeric(a)) {
    std::string text = ScaleAndFloor(ParseDecimal(extracted), e.decimals);
    std::string kept = ScaleAndFloor(ParseDecimal(Rightmost(text, e.length)), 0);
    return kept == "0" ? std::string() : kept;
  }
  if (a == "Y") {
    std::string text(extracted);
    // The century is only put before two digits: a blank local date stays blank.
    if (l.length == 6 && text.size() >= 2 && AllDigits(text.substr(0, 2))) {
      int yy = (text[0] - '0') * 10 + (text[1] - '0');
      text = (yy <= 50 ? "20" : "19") + text;
    }
    std::string kept = ScaleAndFloor(ParseDecimal(Rightmost(text, e.length)), 0);
    return (kept == "0" || kept == "20000000") ? std::string() : kept;
  }
  if (a == "K") {
    std::string text = TrimSpaceBytes(extracted);
    if (text.empty()) return {};
    text = LeftBytesWhole(ToFullWidth(text), e.length > 0 ? static_cast<std::size_t>(e.length) : 0);
    if (text.empty()) return {};
    return ConvertDoubleByteCodes(text, 'M', code16);
  }
  if (a == "X") return TrimSpaceBytes(extracted);
  if (a == "B") return FitBytes(std::string(extracted), l.length);
  return {};  // attributes without a rule are not written
}

namespace {

// A value scaled by 10^-decimals, written for the local item: l.length digits (and a point
// before the last l.decimals of them when it has decimals), rounded down, a "-" in front
// for a negative value; high digits that do not fit are cut, as the writer cuts them.
std::string LocalNumber(std::string_view bytes, int ediDecimals, const ItemFormat& l) {
  DecimalValue v = ParseDecimal(bytes);
  // Shift the point left by the EDI decimals.
  std::string digits = v.intDigits + v.fracDigits;
  long long point = static_cast<long long>(v.intDigits.size()) - ediDecimals;
  DecimalValue scaled;
  scaled.negative = v.negative;
  if (point <= 0) {
    scaled.fracDigits = std::string(static_cast<std::size_t>(-point), '0') + digits;
  } else {
    scaled.intDigits = digits.substr(0, static_cast<std::size_t>(point));
    scaled.fracDigits = digits.substr(static_cast<std::size_t>(point));
  }
  // Now to the local decimals, rounded down.
  std::string units = ScaleAndFloor(scaled, l.decimals);
  bool negative = !units.empty() && units[0] == '-';
  if (negative) units.erase(0, 1);
  long long width = l.length;
  long long digitsWidth = negative ? width - 1 : width;
  if (digitsWidth < 0) digitsWidth = 0;
  std::string body = units.size() >= static_cast<std::size_t>(digitsWidth)
                         ? Rightmost(units, digitsWidth)
                         : std::string(static_cast<std::size_t>(digitsWidth) - units.size(), '0') + units;
  if (l.decimals > 0 && l.decimals <= static_cast<int>(body.size()))
    body.insert(body.size() - static_cast<std::size_t>(l.decimals), ".");
  else if (l.decimals > 0)
    body = "." + std::string(static_cast<std::size_t>(l.decimals) - body.size(), '0') + body;
  return negative ? "-" + body : body;
}

}  // namespace

std::string ConvertEdiValueToLocal(std::string_view bytes, const ItemFormat& e, const ItemFormat& l, char code16,
                                   bool& unsupported) {
  unsupported = false;
  const std::string pair = e.attribute + l.attribute;
  if (pair == "9N" || pair == "99" || pair == "N9" || pair == "NN") return LocalNumber(bytes, e.decimals, l);
  if (pair == "Y9" || pair == "YY" || pair == "9Y") {
    std::string text(bytes);
    if (e.length > 0 && text.size() < static_cast<std::size_t>(e.length))
      text.insert(0, static_cast<std::size_t>(e.length) - text.size(), '0');
    if (text.size() == 6 && AllDigits(text.substr(0, 2))) {
      int yy = (text[0] - '0') * 10 + (text[1] - '0');
      text = (yy <= 50 ? "20" : "19") + text;
    }
    return Rightmost(text, l.length);
  }
  if (pair == "XX" || pair == "BB" || pair == "XB" || pair == "BX") return FitBytes(std::string(bytes), l.length);
  if (pair == "KK") {
    std::string sjis = ConvertDoubleByteCodes(bytes, code16, 'M');
    return FitBytes(sjis, l.length, "\x81\x40");  // full-width spaces, one per two bytes missing
  }
  unsupported = true;
  return {};
}

}  // namespace edi::cii
