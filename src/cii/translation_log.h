// The translation log ERR.LOG and the run's result code.
//
// Every call appends one line to the log file: the code with four digits, then the message,
// CR LF, in CP932. The file is opened and closed per call and never truncated.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace edi::cii {

class TranslationLog {
 public:
  explicit TranslationLog(std::filesystem::path file) : file_(std::move(file)) {}

  // Not quiet and code != 0: the run's result code becomes the code (four digits). Then the
  // line is appended. message is UTF-8. A code other than 0 is written at most
  // kLinesPerCodePerRun times in one run (codes that repeat per line or per element would
  // otherwise let one odd file fill the log); EndRun counts the rest in one line. A log file that cannot be written
  // makes the run fail: its result code becomes 0036 (unless a later error replaces it);
  // writeFailed() tells.
  void WriteTranslationLog(int code, std::string_view message, bool quiet);

  // The run's result code: "" at the start of a run, else the last non-quiet code.
  const std::string& resultCode() const { return resultCode_; }
  bool failed() const { return !resultCode_.empty(); }
  // Starts a run: no result code, no quiet lines counted.
  void ClearResult() {
    resultCode_.clear();
    lineCounts_.clear();
  }
  // Ends a run: for every code asked for more often than the bound, one line with the
  // number of lines left out ("0026-他49990件").
  void EndRun();

  static constexpr int kLinesPerCodePerRun = 10;

  const std::filesystem::path& file() const { return file_; }
  bool writeFailed() const { return writeFailed_; }

 private:
  std::filesystem::path file_;
  void Append(const std::string& line);

  std::string resultCode_;
  std::map<int, long long> lineCounts_;  // lines asked for in this run, per code
  bool writeFailed_ = false;
};

// The four-digit form of a code ("0007").
std::string CodeText(int code);

// The start line's message: "--P114040 start--" + serial (8 digits) + two spaces + date/time.
std::string StartMessage(const std::string& module, long long serial, const std::string& dateTime);
// The serial of a start line as it stands in the log ("0000--P114040 start--00000123  …", the
// code before StartMessage), or nullopt when the line is no start line.
std::optional<long long> StartLineSerial(std::string_view line);

// A failed step of a run, written with the step's end code as the line's code, so that the
// reason stands in the log under the run's serial even where no translation ran:
// "5100--P740150 fault--00000012  2026/12/09 01:02:03 送信 /send/X.CII: Permission denied".
// Every value is kept on one line (line breaks and other control characters become spaces).
std::string FaultMessage(const std::string& module, long long serial, const std::string& dateTime,
                         const std::string& step, const std::string& file, const std::string& reason);
// The serial that a line is filed under in the log: a start line's or a fault line's
// (any code, "--MODULE start--" or "--MODULE fault--", then the serial); nullopt otherwise.
std::optional<long long> LogLineSerial(std::string_view line);

// Appends one fault line (FaultMessage, with the current local date and time) to the log
// file. False when it cannot be written.
bool AppendFaultLine(const std::filesystem::path& logFile, const std::string& code, long long serial,
                     const std::string& step, const std::string& file, const std::string& reason);

}  // namespace edi::cii
