#include "mail/mail_names.h"

#include <algorithm>
#include <cmath>

#include "app/run_file_name.h"
#include "app/text.h"
#include "platform/clock.h"

namespace edi::mail {

namespace {

std::string Extension(const std::string& dataFormat) { return dataFormat == "X" ? "XML" : "CII"; }

long long SerialNumber(double serial) { return std::llround(serial); }

bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

}  // namespace

std::string AttachmentFileName(double serial, const std::string& centerCode, const std::string& dataFormat) {
  return RunFileName(SerialNumber(serial), centerCode, kSendKind, "", Extension(dataFormat));
}

std::string ReceivedFileName(double serial, const std::string& centerCode, const std::string& dataFormat) {
  return RunFileName(SerialNumber(serial), centerCode, kReceiveKind, "", Extension(dataFormat));
}

std::string EscapeRegex(const std::string& text) {
  static const std::string special = R"(\^$.|?*+()[]{})";
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) {
    if (special.find(c) != std::string::npos) out += '\\';
    out += c;
  }
  return out;
}

std::vector<std::string> MatchingFiles(const std::filesystem::path& folder, const std::string& name) {
  const std::string pattern = EscapeRegex(name);
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::error_code ec;
    if (entry.is_directory(ec)) continue;
    // File names are compared as the operator sees them (UTF-8); the name holds no
    // Shift_JIS bytes of its own.
    const std::string fileName = entry.path().filename().string();
    if (MatchesPattern(pattern, fileName)) found.push_back(fileName);
  }
  std::sort(found.begin(), found.end());
  return found;
}

std::optional<std::string> PickAttachment(const std::vector<std::string>& matches, const std::string& name) {
  for (const auto& m : matches) {
    if (m == name) return m;
  }
  for (const auto& m : matches) {
    if (EqualsIgnoringAsciiCase(m, name)) return m;
  }
  return std::nullopt;
}

std::string MailSubject(std::time_t when) {
  const std::tm local = platform::LocalTime(when);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y/%m/%d %H:%M:%S", &local);
  return std::string("EDIデータ") + stamp + "送信";
}

std::filesystem::path FolderOf(const std::string& prefix) {
  std::string p = prefix;
  while (p.size() > 1 && (p.back() == '/' || p.back() == '\\')) p.pop_back();
  return std::filesystem::path(p.empty() ? "." : p);
}

}  // namespace edi::mail
