#include "cii/field_conversion.h"

#include <algorithm>
#include <cstdint>

#include "app/text.h"
#include "cii/sjis.h"

namespace edi::cii {

ValueRule ValueRuleOf(const std::string& attribute) {
  if (attribute.size() != 1) return ValueRule::None;
  switch (attribute[0]) {
    case 'N':
    case '9': return ValueRule::Numeric;
    case 'Y': return ValueRule::Date;
    case 'K': return ValueRule::Kanji;
    case 'X': return ValueRule::Text;
    case 'B': return ValueRule::AsIs;
    default: return ValueRule::None;
  }
}

namespace {

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

// The bytes cut (never inside a double-byte character) or padded to width bytes, into out:
// the pad as often as it fits, then spaces. A width of 0 or less gives nothing.
void AssignFitted(std::string& out, std::string_view bytes, long long width, std::string_view pad = " ") {
  out.clear();
  if (width <= 0) return;
  const std::size_t w = static_cast<std::size_t>(width);
  out.assign(bytes.substr(0, LeftBytesWholeLength(bytes, w)));
  if (pad.size() == 1) {
    out.append(w - out.size(), pad[0]);
    return;
  }
  while (out.size() + pad.size() <= w) out += pad;
  while (out.size() < w) out += ' ';
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

std::string_view ScaleAndFloorSmall(std::string_view text, int shift, char (&buffer)[24]) {
  constexpr int kMaxDigits = 18;
  if (shift > kMaxDigits) return {};
  const int taken = std::max(shift, 0);  // fraction digits that move before the point
  // The same reading as ParseDecimal: spaces anywhere are ignored, then an optional sign,
  // digits and at most one point, up to the first other character. The significant digits
  // of the scaled integer part are collected in order, after the room for a sign and a carry.
  char* const digits = buffer + 2;
  int len = 0;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int intDigits = 0;     // integer digits after the leading zeros
  int fracTaken = 0;     // fraction digits moved before the point by the shift
  bool dropped = false;  // a non-zero digit that falls behind the point
  bool point = false;
  for (; i < n; ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      if (!point) {
        if (len == 0 && c == '0') continue;
        if (++intDigits > kMaxDigits) return {};
        digits[len++] = c;
      } else if (fracTaken < taken) {
        if (intDigits + ++fracTaken > kMaxDigits) return {};
        if (len != 0 || c != '0') digits[len++] = c;
      } else if (c != '0') {
        dropped = true;
      }
    } else if (c == ' ') {
      continue;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (intDigits + taken > kMaxDigits) return {};
  if (shift >= 0) {
    if (len != 0)
      for (int k = fracTaken; k < shift; ++k) digits[len++] = '0';
  } else {
    // A negative shift moves integer digits behind the point.
    const int behind = std::min(-shift, len);
    for (int k = len - behind; k < len; ++k)
      if (digits[k] != '0') dropped = true;
    len -= behind;
  }
  char* first = digits;
  if (negative && dropped) {
    // Rounding down moves a negative value away from zero: add 1 to the digits.
    int k = len - 1;
    for (; k >= 0 && digits[k] == '9'; --k) digits[k] = '0';
    if (k >= 0) ++digits[k];
    else *--first = '1';  // all nines (or no digits at all): one digit more in front
  }
  if (first == digits && len == 0) return "0";  // a zero has no sign
  if (negative) *--first = '-';
  return std::string_view(first, static_cast<std::size_t>(digits + len - first));
}

namespace {

// The rightmost `keep` characters of a plain decimal number, read again as a number and
// written in plain form: a sign or high digits beyond the width are lost.
void KeepRightmostNumber(std::string_view v, long long keep, std::string& out) {
  out.clear();
  if (keep <= 0) return;
  const std::size_t size = v.size();
  if (size > static_cast<std::size_t>(keep)) {
    // The cut removes at least the first character, so what is left holds digits only.
    v = v.substr(size - static_cast<std::size_t>(keep));
    std::size_t nz = v.find_first_not_of('0');
    if (nz == std::string_view::npos) return;
    v = v.substr(nz);
  }
  if (v == "0") return;
  out.assign(v);
}

// Every single-byte character of well-formed Shift_JIS text replaced by a full-width space.
void KeepDoubleByteOnly(std::string& sjis) {
  std::size_t i = 0;
  while (i < sjis.size() && IsLeadByte(static_cast<unsigned char>(sjis[i])) && i + 1 < sjis.size()) i += 2;
  if (i >= sjis.size()) return;  // the usual case: nothing to replace
  std::string out(sjis, 0, i);
  for (; i < sjis.size(); ++i) {
    if (IsLeadByte(static_cast<unsigned char>(sjis[i])) && i + 1 < sjis.size()) {
      out.append(sjis, i, 2);
      ++i;
    } else {
      out += "\x81\x40";
    }
  }
  sjis = std::move(out);
}

}  // namespace

void EditValueForEdi(const ItemFormat& e, const ItemFormat& l, std::string_view extracted, char code16,
                     std::string& out) {
  switch (ValueRuleOf(e.attribute)) {
    case ValueRule::Numeric: {
      char buffer[24];
      std::string_view small = ScaleAndFloorSmall(extracted, e.decimals, buffer);
      if (!small.empty()) {
        KeepRightmostNumber(small, e.length, out);
        return;
      }
      std::string text = ScaleAndFloor(ParseDecimal(extracted), e.decimals);
      std::string kept = ScaleAndFloor(ParseDecimal(Rightmost(text, e.length)), 0);
      if (kept == "0") out.clear();
      else out = std::move(kept);
      return;
    }
    case ValueRule::Date: {
      out.clear();
      // The century is only put before two digits: a blank local date stays blank.
      if (l.length == 6 && extracted.size() >= 2 && AllDigits(extracted.substr(0, 2))) {
        int yy = (extracted[0] - '0') * 10 + (extracted[1] - '0');
        out = yy <= 50 ? "20" : "19";
      }
      out.append(extracted);
      // Only the rightmost 長さ characters count.
      std::string_view kept = e.length <= 0 ? std::string_view() : std::string_view(out);
      if (kept.size() > static_cast<std::size_t>(std::max(e.length, 0)))
        kept = kept.substr(kept.size() - static_cast<std::size_t>(e.length));
      char buffer[24];
      std::string_view small = ScaleAndFloorSmall(kept, 0, buffer);
      std::string number = !small.empty() ? std::string(small) : ScaleAndFloor(ParseDecimal(kept), 0);
      if (number == "0" || number == "20000000") out.clear();
      else out = std::move(number);
      return;
    }
    case ValueRule::Kanji: {
      out.clear();
      std::string_view text = TrimSpaceView(extracted);
      if (text.empty()) return;
      AppendFullWidth(out, text);
      // JIS codes come in pairs: a byte that stayed a character of its own (a control
      // character, say) would shift every pair after it, so it becomes a full-width space.
      if (code16 == 'S') KeepDoubleByteOnly(out);
      out.resize(LeftBytesWholeLength(out, e.length > 0 ? static_cast<std::size_t>(e.length) : 0));
      // Shift_JIS stays as it is; JIS and UCS-2 codes are converted.
      if (!out.empty() && (code16 == 'S' || code16 == 'U')) out = ConvertDoubleByteCodes(out, 'M', code16);
      return;
    }
    case ValueRule::Text:
      out.assign(TrimSpaceView(extracted));
      return;
    case ValueRule::AsIs:
      AssignFitted(out, extracted, l.length);
      return;
    case ValueRule::None:
      out.clear();  // attributes without a rule are not written
      return;
  }
}

std::string EditValueForEdi(const ItemFormat& e, const ItemFormat& l, std::string_view extracted, char code16) {
  std::string out;
  EditValueForEdi(e, l, extracted, code16, out);
  return out;
}

namespace {

// The value scaled by 10^(local decimals - EDI decimals), rounded down, in plain form (the
// general path, for values too long for ScaleAndFloorSmall).
std::string LocalUnits(std::string_view bytes, int ediDecimals, const ItemFormat& l) {
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
  return ScaleAndFloor(scaled, l.decimals);
}

// A value scaled by 10^-decimals, written for the local item: l.length digits (and a point
// before the last l.decimals of them when it has decimals), rounded down, a "-" in front
// for a negative value; high digits that do not fit are cut, as the writer cuts them.
void LocalNumber(std::string_view bytes, int ediDecimals, const ItemFormat& l, std::string& out) {
  const long long shift = static_cast<long long>(l.decimals) - ediDecimals;
  char buffer[24];
  std::string_view units;
  if (shift >= -1000 && shift <= 1000) units = ScaleAndFloorSmall(bytes, static_cast<int>(shift), buffer);
  std::string general;
  if (units.empty()) {
    general = LocalUnits(bytes, ediDecimals, l);
    units = general;
  }
  const bool negative = !units.empty() && units[0] == '-';
  if (negative) units.remove_prefix(1);
  long long width = l.length;
  long long digitsWidth = negative ? width - 1 : width;
  if (digitsWidth < 0) digitsWidth = 0;
  const std::size_t d = static_cast<std::size_t>(digitsWidth);
  out.clear();
  if (negative) out += '-';
  const std::size_t start = out.size();
  if (units.size() >= d) {
    out.append(units.substr(units.size() - d));
  } else {
    out.append(d - units.size(), '0');
    out.append(units);
  }
  const std::size_t body = out.size() - start;
  if (l.decimals > 0 && static_cast<std::size_t>(l.decimals) <= body) {
    out.insert(out.size() - static_cast<std::size_t>(l.decimals), 1, '.');
  } else if (l.decimals > 0) {
    out.insert(start, static_cast<std::size_t>(l.decimals) - body, '0');
    out.insert(start, 1, '.');
  }
}

}  // namespace

void ConvertEdiValueToLocal(std::string_view bytes, const ItemFormat& e, const ItemFormat& l, char code16,
                            bool& unsupported, std::string& out) {
  unsupported = false;
  // The rule is chosen by the two attributes written one after the other ("9" + "N" → "9N").
  char first = 0, second = 0;
  if (e.attribute.size() + l.attribute.size() == 2) {
    const std::string& a = e.attribute.empty() ? l.attribute : e.attribute;
    first = a[0];
    second = e.attribute.size() == 1 ? l.attribute[0] : a[1];
  }
  auto is = [&](const char* pair) { return first == pair[0] && second == pair[1]; };
  if (is("9N") || is("99") || is("N9") || is("NN")) {
    LocalNumber(bytes, e.decimals, l, out);
    return;
  }
  if (is("Y9") || is("YY") || is("9Y")) {
    out.assign(bytes);
    if (e.length > 0 && out.size() < static_cast<std::size_t>(e.length))
      out.insert(0, static_cast<std::size_t>(e.length) - out.size(), '0');
    if (out.size() == 6 && AllDigits(std::string_view(out).substr(0, 2))) {
      int yy = (out[0] - '0') * 10 + (out[1] - '0');
      out.insert(0, yy <= 50 ? "20" : "19");
    }
    if (l.length <= 0) out.clear();
    else if (out.size() > static_cast<std::size_t>(l.length)) out.erase(0, out.size() - static_cast<std::size_t>(l.length));
    return;
  }
  if (is("XX") || is("BB") || is("XB") || is("BX")) {
    AssignFitted(out, bytes, l.length);
    return;
  }
  if (is("KK")) {
    // To Shift_JIS (JIS and UCS-2 codes are converted; other codes are taken as they are),
    // cut or padded to the local width with full-width spaces, a space for an odd last byte.
    std::string converted;
    std::string_view sjis = bytes;
    if (code16 == 'S' || code16 == 'U') {
      converted = ConvertDoubleByteCodes(bytes, code16, 'M');
      sjis = converted;
    }
    AssignFitted(out, sjis, l.length, "\x81\x40");
    return;
  }
  unsupported = true;
  out.clear();
}

std::string ConvertEdiValueToLocal(std::string_view bytes, const ItemFormat& e, const ItemFormat& l, char code16,
                                   bool& unsupported) {
  std::string out;
  ConvertEdiValueToLocal(bytes, e, l, code16, unsupported, out);
  return out;
}

}  // namespace edi::cii
