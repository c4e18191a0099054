// Pushes the look of section Setting0 onto a window: the window's back colour, then every
// control in the window's own order. Text boxes take the text look; labels whose names begin
// with "lbl_" the label look, with "tit_" the title look (case-sensitive); every other
// control keeps its designed look.
#pragma once

#include <optional>
#include <string>

#include "app/settings.h"

class QWidget;

namespace edi::screen {

// nullopt on success, else what could not be applied (for stderr). The controls styled before
// the failure stay styled; the caller shows "項目設定エラー" and ends the program.
std::optional<std::string> ApplyDisplaySettings(QWidget& window, const DisplaySettings& settings);

// The truth value of a font text: True or False in any case, or a number (non-zero is true).
std::optional<bool> ParseTruthText(const std::string& text);

}  // namespace edi::screen
