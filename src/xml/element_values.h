// Data element values between CII bytes and XML text, by the item's 属性.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/text.h"
#include "cii/format.h"
#include "cii/item_table.h"

namespace edi::xml {

// The text (UTF-8) of one data element read from a CII message:
//   "9", "X", "N"  the bytes as Shift_JIS text
//   "Y"            the same; shorter than 6 characters left-padded with "0", and a 6-character
//                  date gets its century ("20" for 00–50, "19" for 51–99)
//   "B"            two upper-case hexadecimal digits per byte
//   "K"            double-byte codes by header byte 148 (JPC25): "M" Shift_JIS, "S" JIS X 0208,
//                  "U" UCS-2 big-endian
//   other          empty
// `codec`, when given, does the Shift_JIS conversions (a loop over many elements keeps one).
std::string DecodeElementValue(const cii::CiiHeaderRecord& header, std::string_view bytes,
                               const cii::ItemFormat& item, AnsiCodec* codec = nullptr);

// The bytes of one data element from its XML text, the inverse of DecodeElementValue.
// Empty means the element is left out. nullopt: the text cannot be encoded (a "B" value that
// is not pairs of hexadecimal digits).
std::optional<std::string> EncodeElementValue(const cii::CiiHeaderRecord& header, std::string_view text,
                                              const cii::ItemFormat& item, AnsiCodec* codec = nullptr);

// UCS-2 big-endian and UTF-8. A character outside the 16-bit range becomes U+FFFD; an odd
// last byte is dropped from the decoding with U+FFFD in its place.
std::string Ucs2BeToUtf8(std::string_view ucs2);
std::string Utf8ToUcs2Be(std::string_view utf8);

}  // namespace edi::xml
