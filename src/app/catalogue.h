// The message catalogue: every text a person reads goes through Tr().
//
// A message's id is its Japanese text, so Japanese is what a program shows when no catalogue
// applies (LANG=C, as cron and service managers start programs). Under an English locale the
// catalogue gives the English text. Texts that are fixed by the system (status texts, the
// operator's messages in messages.h) go through Tr() as well; every catalogue keeps them as they are.
//
// Parameters are numbered places, {1} {2} ..., so that a translation may put them in its own order:
//   std::cerr << TrArgs("{1} の {2} 行目: {3}", {file, line, why}) << "\n";
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace edi {

// The text of msgid in the operator's language. The pointer stays valid for the life of the process.
const char* Tr(const char* msgid);

// Tr(msgid) with {1}, {2}, ... replaced by args in that order; a place without an argument stays as written.
std::string TrArgs(const char* msgid, std::initializer_list<std::string_view> args);

// Marks a text for the catalogue where it is defined as a constant; Tr() is applied where it is
// shown. Gives msgid itself (gettext's N_()).
constexpr const char* TrMark(const char* msgid) { return msgid; }

// Chooses the catalogue once, from LC_ALL, LC_MESSAGES and LANG (the first one set): a locale
// beginning with "en" gives English, anything else (C, C.UTF-8, ja_JP, none) Japanese. English
// works whether or not the English locale is generated on the machine. Called at the start of
// main() (in a Qt program after the QApplication, which sets the locale itself).
// Safe to skip: Tr() then gives the Japanese text.
void InitCatalogue();

// True after InitCatalogue() chose English.
bool CatalogueIsEnglish();

}  // namespace edi
