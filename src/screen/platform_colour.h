// Colour numbers as EDI.ini holds them: the platform's 32-bit encoding with red in the lowest
// byte, green in the next and blue in the third (255 is pure red). A number with the high
// bit set names a system colour by its index in the low byte (&H8000000F is the face colour
// of buttons); those map to the roles of the application palette.
#pragma once

#include <QColor>
#include <cstdint>
#include <optional>
#include <string>

namespace edi::screen {

// The colour of a colour number; nullopt when the number is no colour (not an integer in
// 32 bits, above &HFFFFFF without the system bit, or an unknown system colour index).
// Fractions are rounded to the nearest integer, halves to even, as the integer conversion does.
std::optional<QColor> ColourFromNumber(double number);

// A colour text ("255", "&HFF&", "&H8000000F") converted to a 32-bit integer, then to a colour.
std::optional<QColor> ColourFromText(const std::string& text);

}  // namespace edi::screen
