// Result codes of the XML conversions, beside the engine's own (cii/codes.h).
#pragma once

#include "cii/codes.h"

namespace edi::xml {

// CII to XML reports a group without its FL1902 row as 0001 (the writer uses 0002 for it).
constexpr int kCodeXmlNoFormat = 1;

constexpr int kCodeXmlUnparsable = 40;      // the document does not parse or is refused
constexpr int kCodeXmlNoItem = 41;          // a data element without an item (quiet, left out)
constexpr int kCodeSecondGroup = 42;        // a second message group in one CII file
// A message with no message group header before it: the engine's code for the same case.
constexpr int kCodeMessageOutsideGroup = cii::kCodeNoHeader;
constexpr int kCodeXmlBadHex = 44;          // a "B" value that is not pairs of hex digits (quiet)
// A header field or value with characters that an XML document cannot carry (control
// characters, bytes without a character): written as "?", so the document is not the data.
constexpr int kCodeXmlLostCharacters = 45;
// One JPMGH or JPTRM (comments, unknown elements and text included), or what lies between
// two of them, is larger than a conversion holds in memory.
constexpr int kCodeXmlUnitTooLarge = 46;
constexpr int kCodeXmlUnexpected = cii::kCodeInternal;  // an unexpected fault inside the conversion

}  // namespace edi::xml
