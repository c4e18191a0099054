#include "cii/translation_log.h"

#include <cstdio>

#include "app/text.h"

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

void TranslationLog::WriteTranslationLog(int code, std::string_view message, bool quiet) {
  if (!quiet && code != 0) resultCode_ = CodeText(code);
  std::string line = CodeText(code) + ToAnsiBytes(message) + "\r\n";
  // Opened in append mode and closed for every line, so that nothing is lost when the
  // process ends and other programs may read the log at any time.
  std::FILE* f = std::fopen(file_.c_str(), "ab");
  if (f == nullptr) {
    writeFailed_ = true;
    return;
  }
  if (std::fwrite(line.data(), 1, line.size(), f) != line.size()) writeFailed_ = true;
  if (std::fclose(f) != 0) writeFailed_ = true;
}

}  // namespace edi::cii
