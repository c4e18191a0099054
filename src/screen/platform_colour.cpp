#include "screen/platform_colour.h"

#include <QApplication>
#include <QPalette>
#include <cmath>

#include "app/settings.h"

namespace edi::screen {

namespace {

// The system colour indexes 0 to 24 (scroll bar … tool-tip background) and the palette
// role that plays their part here.
std::optional<QColor> SystemColour(std::uint32_t index) {
  static constexpr QPalette::ColorRole kRoles[] = {
      QPalette::Midlight,        // 0 scroll bar
      QPalette::Window,          // 1 desktop
      QPalette::Highlight,       // 2 active caption
      QPalette::Mid,             // 3 inactive caption
      QPalette::Window,          // 4 menu
      QPalette::Base,            // 5 window background
      QPalette::Shadow,          // 6 window frame
      QPalette::WindowText,      // 7 menu text
      QPalette::Text,            // 8 window text
      QPalette::HighlightedText, // 9 caption text
      QPalette::Window,          // 10 active border
      QPalette::Window,          // 11 inactive border
      QPalette::Mid,             // 12 application workspace
      QPalette::Highlight,       // 13 highlight
      QPalette::HighlightedText, // 14 highlighted text
      QPalette::Button,          // 15 button face
      QPalette::Dark,            // 16 button shadow
      QPalette::PlaceholderText, // 17 grey text
      QPalette::ButtonText,      // 18 button text
      QPalette::WindowText,      // 19 inactive caption text
      QPalette::Light,           // 20 button highlight
      QPalette::Shadow,          // 21 dark 3-D shadow
      QPalette::Midlight,        // 22 3-D light
      QPalette::ToolTipText,     // 23 tool-tip text
      QPalette::ToolTipBase,     // 24 tool-tip background
  };
  if (index >= std::size(kRoles)) return std::nullopt;
  return QApplication::palette().color(QPalette::Active, kRoles[index]);
}

}  // namespace

std::optional<QColor> ColourFromNumber(double number) {
  if (!std::isfinite(number)) return std::nullopt;
  const double rounded = std::nearbyint(number);
  // Negative numbers are the signed reading of the same 32 bits (&H8000000F is negative).
  if (rounded < -2147483648.0 || rounded > 4294967295.0) return std::nullopt;
  const auto bits = static_cast<std::uint32_t>(static_cast<std::int64_t>(rounded) & 0xFFFFFFFFLL);
  if (bits & 0x80000000u) {
    if (bits & 0x7FFFFF00u) return std::nullopt;
    return SystemColour(bits & 0xFFu);
  }
  if (bits > 0xFFFFFFu) return std::nullopt;
  return QColor(static_cast<int>(bits & 0xFF), static_cast<int>((bits >> 8) & 0xFF),
                static_cast<int>((bits >> 16) & 0xFF));
}

std::optional<QColor> ColourFromText(const std::string& text) {
  auto number = ParseMandatoryNumber(text);
  if (!number) return std::nullopt;
  return ColourFromNumber(*number);
}

}  // namespace edi::screen
