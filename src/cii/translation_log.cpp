#include "cii/translation_log.h"

#include <cctype>
#include <charconv>
#include <cstdio>

#include "app/text.h"
#include "cii/codes.h"

namespace edi::cii {

std::string CodeText(int code) {
  char buf[16];
  if (code < 0) std::snprintf(buf, sizeof buf, "-%03d", -code);
  else std::snprintf(buf, sizeof buf, "%04d", code);
  return buf;
}

std::string StartMessage(const std::string& module, long long serial, const std::string& dateTime) {
  return "--" + module + " start--" + SerialField(serial) + "  " + dateTime;
}

std::optional<long long> StartLineSerial(std::string_view line) {
  static constexpr std::string_view kMarker = " start--";
  const std::string lead = CodeText(0) + "--";
  if (line.size() <= lead.size() || line.substr(0, lead.size()) != lead) return std::nullopt;
  const auto marker = line.find(kMarker, lead.size());
  if (marker == std::string_view::npos) return std::nullopt;
  std::string_view rest = line.substr(marker + kMarker.size());
  std::size_t digits = 0;
  while (digits < rest.size() && std::isdigit(static_cast<unsigned char>(rest[digits]))) ++digits;
  if (digits == 0 || digits > 18) return std::nullopt;
  long long serial = 0;
  std::from_chars(rest.data(), rest.data() + digits, serial);
  return serial;
}

void TranslationLog::WriteTranslationLog(int code, std::string_view message, bool quiet) {
  if (!quiet && code != 0) resultCode_ = CodeText(code);
  // A code that repeats per line or per element is written a bounded number of times.
  if (code != 0 && ++lineCounts_[code] > kLinesPerCodePerRun) return;
  Append(CodeText(code) + ToAnsiBytes(message) + "\r\n");
}

void TranslationLog::EndRun() {
  for (const auto& [code, count] : lineCounts_)
    if (count > kLinesPerCodePerRun)
      Append(CodeText(code) + ToAnsiBytes("-他" + std::to_string(count - kLinesPerCodePerRun) + "件") + "\r\n");
  lineCounts_.clear();
}

void TranslationLog::Append(const std::string& line) {
  // Opened in append mode and closed for every line, so that nothing is lost when the
  // process ends and other programs may read the log at any time.
  std::FILE* f = std::fopen(file_.c_str(), "ab");
  bool ok = f != nullptr;
  if (ok && std::fwrite(line.data(), 1, line.size(), f) != line.size()) ok = false;
  if (f != nullptr && std::fclose(f) != 0) ok = false;
  if (ok) return;
  // A run whose log is lost has not reported its errors: it fails.
  writeFailed_ = true;
  if (resultCode_.empty()) resultCode_ = CodeText(kCodeLogFailed);
}

}  // namespace edi::cii
