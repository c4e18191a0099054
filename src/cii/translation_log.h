// The translation log ERR.LOG and the run's result code.
//
// Every call appends one line to the log file: the code with four digits, then the message,
// CR LF, in CP932. The file is opened and closed per call and never truncated.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace edi::cii {

class TranslationLog {
 public:
  explicit TranslationLog(std::filesystem::path file) : file_(std::move(file)) {}

  // Not quiet and code != 0: the run's result code becomes the code (four digits). Then the
  // line is appended. message is UTF-8. A log file that cannot be written does not stop the
  // translation (the result code is still set); writeFailed() tells.
  void WriteTranslationLog(int code, std::string_view message, bool quiet);

  // The run's result code: "" at the start of a run, else the last non-quiet code.
  const std::string& resultCode() const { return resultCode_; }
  bool failed() const { return !resultCode_.empty(); }
  void ClearResult() { resultCode_.clear(); }

  const std::filesystem::path& file() const { return file_; }
  bool writeFailed() const { return writeFailed_; }

 private:
  std::filesystem::path file_;
  std::string resultCode_;
  bool writeFailed_ = false;
};

// The four-digit form of a code ("0007").
std::string CodeText(int code);

// The start line's message: "--P114040 start--" + serial (8 digits) + two spaces + date/time.
std::string StartMessage(const std::string& module, long long serial, const std::string& dateTime);

}  // namespace edi::cii
