#include "cii/value_rule.h"

#include "cii/field_conversion.h"
#include "cii/sjis.h"

namespace edi::cii {

namespace {

constexpr int kMaxSmallDigits = 18;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The digits without their leading zeros (empty for zero).
std::string_view Significant(std::string_view digits) {
  std::size_t k = 0;
  while (k < digits.size() && digits[k] == '0') ++k;
  return digits.substr(k);
}

// A number kept to its rightmost `keep` digits and read again: empty for zero.
std::string_view Rightmost(std::string_view significant, long long keep) {
  if (keep <= 0) return {};
  if (significant.size() > static_cast<std::size_t>(keep))
    significant = Significant(significant.substr(significant.size() - static_cast<std::size_t>(keep)));
  return significant;
}

// A field of digits with at most one point (no sign, no spaces), scaled by 10^decimals and
// rounded down (the value is never negative, so rounding down drops the rest), then cut to
// its rightmost `length` digits. false: the field has other bytes.
bool PlainNumber(std::string_view field, int decimals, int length, std::string& out, std::string_view& value) {
  if (decimals < 0 || field.size() + static_cast<std::size_t>(decimals) > kMaxSmallDigits) return false;
  std::size_t point = std::string_view::npos;
  for (std::size_t k = 0; k < field.size(); ++k) {
    if (IsDigit(field[k])) continue;
    if (field[k] != '.' || point != std::string_view::npos) return false;
    point = k;
  }
  if (point == std::string_view::npos && decimals == 0) {
    value = Rightmost(Significant(field), length);
    return true;
  }
  char digits[kMaxSmallDigits + 2];
  std::size_t n = 0;
  const std::string_view whole = field.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : field.substr(point + 1);
  for (char c : whole) digits[n++] = c;
  for (int k = 0; k < decimals; ++k)
    digits[n++] = static_cast<std::size_t>(k) < fraction.size() ? fraction[static_cast<std::size_t>(k)] : '0';
  out.assign(Rightmost(Significant(std::string_view(digits, n)), length));
  value = out;
  return true;
}

// A date field of digits: the century before a two-digit local year, the rightmost 長さ
// digits read as a number; zero and the bare century of a blank six-digit date are no
// value. false: the field has other bytes.
bool PlainDate(std::string_view field, int ediLength, int localLength, std::string& out, std::string_view& value) {
  if (field.size() > kMaxSmallDigits) return false;
  for (char c : field)
    if (!IsDigit(c)) return false;
  char digits[kMaxSmallDigits + 2];
  std::size_t n = 0;
  if (localLength == 6 && field.size() >= 2) {
    const bool recent = (field[0] - '0') * 10 + (field[1] - '0') <= 50;
    digits[n++] = recent ? '2' : '1';
    digits[n++] = recent ? '0' : '9';
  }
  for (char c : field) digits[n++] = c;
  std::string_view kept(digits, n);
  if (ediLength <= 0) kept = {};
  else if (kept.size() > static_cast<std::size_t>(ediLength)) kept = kept.substr(kept.size() - static_cast<std::size_t>(ediLength));
  const std::string_view number = Significant(kept);
  if (number.empty() || number == "20000000") {
    value = {};
    return true;
  }
  out.assign(number);
  value = out;
  return true;
}

// A kanji field in Shift_JIS (any header code but JIS "S" and UCS-2 "U") that holds only
// double-byte characters once its surrounding spaces are gone: it is full-width already, so
// its value is the field itself, cut after the last whole character within 長さ bytes.
// false: the field holds a single-byte character, or the header asks for another code.
bool PlainKanji(std::string_view field, int ediLength, char code16, std::string_view& value) {
  if (code16 == 'S' || code16 == 'U') return false;
  const std::string_view text = TrimSpaceView(field);
  std::size_t k = 0;
  while (k + 1 < text.size() && IsLeadByte(static_cast<unsigned char>(text[k]))) k += 2;
  if (k != text.size()) return false;
  const std::size_t limit = ediLength > 0 ? static_cast<std::size_t>(ediLength) : 0;
  value = text.size() <= limit ? text : text.substr(0, limit & ~std::size_t{1});
  return true;
}

bool AllSpaces(std::string_view field) {
  for (char c : field)
    if (c != ' ') return false;
  return true;
}

}  // namespace

std::string_view EditRuledValue(const ItemPlan& plan, const ItemFormat& e, const ItemFormat& l,
                                std::string_view extracted, char code16, std::string& out) {
  std::string_view value;
  switch (plan.rule) {
    case ValueRule::Text: return TrimSpaceView(extracted);
    case ValueRule::Numeric:
      if (PlainNumber(extracted, plan.ediDecimals, plan.ediLength, out, value)) return value;
      // A blank number (spaces only) is zero: no data element.
      if (AllSpaces(extracted)) return {};
      break;
    case ValueRule::Date:
      if (PlainDate(extracted, plan.ediLength, plan.localLength, out, value)) return value;
      if (AllSpaces(extracted)) return {};
      break;
    case ValueRule::Kanji:
      if (PlainKanji(extracted, plan.ediLength, code16, value)) return value;
      break;
    case ValueRule::None: return {};
    case ValueRule::AsIs: break;
  }
  EditValueForEdi(e, l, extracted, code16, out);
  return out;
}

}  // namespace edi::cii
