#include "app/catalogue.h"

#include <locale.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/paths.h"

// The Windows cross-build has no gettext: there every text is its Japanese id.
#if __has_include(<libintl.h>)
#include <libintl.h>
#define EDI_HAVE_GETTEXT 1
#endif

namespace edi {
namespace {

constexpr const char* kDomain = "edi";

// Set once by InitCatalogue(); while false every text is its Japanese id, without asking gettext.
std::atomic<bool> g_english{false};

#ifdef EDI_HAVE_GETTEXT
const char* NonEmptyEnv(const char* name) {
  const char* v = std::getenv(name);
  return v && *v ? v : nullptr;
}

bool HasEnglishCatalogue(const std::filesystem::path& dir) {
  std::error_code ec;
  return !dir.empty() && std::filesystem::is_regular_file(dir / "en" / "LC_MESSAGES" / "edi.mo", ec);
}

// The folder that holds en/LC_MESSAGES/edi.mo: EDI_LOCALEDIR when set (tests), a locale folder
// next to the program (the build tree), share/locale of the prefix the program is installed in
// (PREFIX/lib/edi-workstation/BIN/P740150, also after `cmake --install --prefix` elsewhere), or
// the folder the build was configured to install into.
std::string LocaleFolder() {
  if (const char* dir = NonEmptyEnv("EDI_LOCALEDIR")) return dir;
  const std::filesystem::path exe = platform::ExecutableFolder();
  const std::filesystem::path prefix = exe.parent_path().parent_path().parent_path().parent_path();
  for (const auto& dir : {exe / "locale", prefix / "share" / "locale"})
    if (HasEnglishCatalogue(dir)) return dir.string();
  return EDI_INSTALL_LOCALEDIR;
}

// The locale that decides messages, with the C library's precedence: LC_ALL, LC_MESSAGES, LANG.
std::string MessagesLocaleName() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"})
    if (const char* v = NonEmptyEnv(name)) return v;
  return {};
}

#endif

}  // namespace

const char* Tr(const char* msgid) {
  if (!g_english.load(std::memory_order_relaxed)) return msgid;
#ifdef EDI_HAVE_GETTEXT
  return dgettext(kDomain, msgid);
#else
  return msgid;
#endif
}

std::string TrArgs(const char* msgid, std::initializer_list<std::string_view> args) {
  const std::string_view text = Tr(msgid);
  std::string out;
  out.reserve(text.size() + 32);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '{') {
      std::size_t j = i + 1;
      std::size_t n = 0;
      while (j < text.size() && text[j] >= '0' && text[j] <= '9') n = n * 10 + (text[j++] - '0');
      if (j < text.size() && text[j] == '}' && j > i + 1 && n >= 1 && n <= args.size()) {
        out.append(*(args.begin() + (n - 1)));
        i = j;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

bool CatalogueIsEnglish() { return g_english.load(std::memory_order_relaxed); }

void InitCatalogue() {
#ifndef EDI_HAVE_GETTEXT
  g_english = false;
#else
  const std::string locale = MessagesLocaleName();
  const bool english = locale.rfind("en", 0) == 0 && (locale.size() == 2 || locale[2] == '_' ||
                                                      locale[2] == '.' || locale[2] == '@');
  if (!english) {
    g_english = false;
    return;
  }
  // Only the category of messages is set here: numbers, dates and character classes are left
  // as they are, so that parsing and file contents do not depend on the operator's language.
  // gettext answers from no catalogue while messages are in the plain "C" locale, and an
  // English site may not have generated its English locale: then the built-in C.UTF-8 locale
  // is used and LANGUAGE names the catalogue.
  if (!setlocale(LC_MESSAGES, locale.c_str())) setlocale(LC_MESSAGES, "C.UTF-8");
  setenv("LANGUAGE", "en", 1);
  bindtextdomain(kDomain, LocaleFolder().c_str());
  bind_textdomain_codeset(kDomain, "UTF-8");
  g_english = true;
#endif
}

}  // namespace edi
