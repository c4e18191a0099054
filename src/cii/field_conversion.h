// Taking one item's value out of a local line and editing it by the EDI item's attribute.
// Values are Shift_JIS bytes; an empty result means the data element is left out.
#pragma once

#include <string>
#include <string_view>

#include "cii/item_table.h"

namespace edi::cii {

// How a data item's value is edited, chosen by the EDI item's attribute.
enum class ValueRule : unsigned char {
  Numeric,  // "N", "9": scaled, rounded down, cut to the rightmost 長さ digits
  Date,     // "Y": the century before a two-digit year, then read as a number
  Kanji,    // "K": full-width, cut, in the header's 16-bit code
  Text,     // "X": the field without its surrounding spaces
  AsIs,     // "B": the field as it stands, cut or padded to the local width
  None,     // no rule: no data element
};
ValueRule ValueRuleOf(const std::string& attribute);

// The edited value for EDI item e whose local counterpart is l, from the raw bytes taken out
// of the line (already cut to l's width). code16 is header byte 148.
std::string EditValueForEdi(const ItemFormat& e, const ItemFormat& l, std::string_view extracted, char code16);
// The same into out (replacing its contents). The writer calls this once per item with the
// same buffer, so that editing a value allocates nothing in the usual case.
void EditValueForEdi(const ItemFormat& e, const ItemFormat& l, std::string_view extracted, char code16,
                     std::string& out);

// Numeric reading of a local value: spaces ignored, optional sign, digits, one decimal point,
// stopping at the first other character. Gives sign, integer digits and fraction digits.
struct DecimalValue {
  bool negative = false;
  std::string intDigits;   // without leading zeros ("" for 0)
  std::string fracDigits;  // without trailing zeros
  bool isZero() const { return intDigits.empty() && fracDigits.empty(); }
};
DecimalValue ParseDecimal(std::string_view text);
// v × 10^shift rounded down (towards minus infinity), in plain decimal form ("-4", "1250", "0").
std::string ScaleAndFloor(const DecimalValue& v, int shift);
// ScaleAndFloor(ParseDecimal(text), shift) in one pass over the text, for a value whose
// integer part and scaled digits fit in 18 digits; a negative shift moves digits behind the
// point. The result (a sign and at most 19 digits) is a view into buffer; an empty view means
// the value is too long for this path (the caller then takes the general one).
std::string_view ScaleAndFloorSmall(std::string_view text, int shift, char (&buffer)[24]);

// The local text of one data element read from a CII message (the inverse of EditValueForEdi).
// e is the EDI item, l the local item. unsupported is set for an attribute pair without a rule.
std::string ConvertEdiValueToLocal(std::string_view bytes, const ItemFormat& e, const ItemFormat& l, char code16,
                                   bool& unsupported);
// The same into out (replacing its contents), for a reader that keeps one buffer.
void ConvertEdiValueToLocal(std::string_view bytes, const ItemFormat& e, const ItemFormat& l, char code16,
                            bool& unsupported, std::string& out);

}  // namespace edi::cii
