#include "cii/translation_log.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <ctime>

#include "app/text.h"
#include "cii/codes.h"
#include "platform/clock.h"
#include "platform/files.h"

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

namespace {

// The serial that a log line's marker is followed by: its leading digits (at most 18).
std::optional<long long> LeadingSerial(std::string_view rest) {
  std::size_t digits = 0;
  while (digits < rest.size() && std::isdigit(static_cast<unsigned char>(rest[digits]))) ++digits;
  if (digits == 0 || digits > 18) return std::nullopt;
  long long serial = 0;
  std::from_chars(rest.data(), rest.data() + digits, serial);
  return serial;
}

}  // namespace

std::optional<long long> StartLineSerial(std::string_view line) {
  static constexpr std::string_view kMarker = " start--";
  const std::string lead = CodeText(0) + "--";
  if (line.size() <= lead.size() || line.substr(0, lead.size()) != lead) return std::nullopt;
  const auto marker = line.find(kMarker, lead.size());
  if (marker == std::string_view::npos) return std::nullopt;
  return LeadingSerial(line.substr(marker + kMarker.size()));
}

namespace {

// The serial after "<4 characters>--<module> <word>--" (no space in the module name).
std::optional<long long> SerialAfterMarker(std::string_view line, std::string_view word) {
  if (line.size() < 8 || line.substr(4, 2) != "--") return std::nullopt;
  const std::size_t space = line.find(' ', 6);
  if (space == std::string_view::npos || line.substr(space + 1, word.size()) != word) return std::nullopt;
  return LeadingSerial(line.substr(space + 1 + word.size()));
}

std::string OneLine(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return text;
}

}  // namespace

std::string FaultMessage(const std::string& module, long long serial, const std::string& dateTime,
                         const std::string& step, const std::string& file, const std::string& reason) {
  std::string text = "--" + module + " fault--" + SerialField(serial) + "  " + dateTime + " " + OneLine(step);
  if (!file.empty()) text += " " + OneLine(file);
  return text + ": " + OneLine(reason);
}

std::optional<long long> LogLineSerial(std::string_view line) {
  if (auto serial = StartLineSerial(line)) return serial;
  return SerialAfterMarker(line, "fault--");
}

bool AppendFaultLine(const std::filesystem::path& logFile, const std::string& code, long long serial,
                     const std::string& step, const std::string& file, const std::string& reason) {
  const std::time_t now = std::time(nullptr);
  const std::tm t = platform::LocalTime(now);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y/%m/%d %H:%M:%S", &t);
  std::string code4 = code.substr(0, 4);
  code4.resize(4, ' ');
  const std::string line = code4 + ToAnsiBytes(FaultMessage("P740150", serial, stamp, step, file, reason)) + "\r\n";
  std::FILE* f = platform::OpenStream(logFile, "ab");
  bool ok = f != nullptr;
  if (ok && std::fwrite(line.data(), 1, line.size(), f) != line.size()) ok = false;
  if (f != nullptr && std::fclose(f) != 0) ok = false;
  return ok;
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
  std::FILE* f = platform::OpenStream(file_, "ab");
  bool ok = f != nullptr;
  if (ok && std::fwrite(line.data(), 1, line.size(), f) != line.size()) ok = false;
  if (f != nullptr && std::fclose(f) != 0) ok = false;
  if (ok) return;
  // A run whose log is lost has not reported its errors: it fails.
  writeFailed_ = true;
  if (resultCode_.empty()) resultCode_ = CodeText(kCodeLogFailed);
}

}  // namespace edi::cii
