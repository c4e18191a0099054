// The extraction step: for every partner company of a center, write a parameter file for
// the communications package, start the package and wait for it, read the status file it
// leaves, and record one history branch ("42") per partner. The package writes the run's
// in-house files (serial + "_SND_" + center field + information code + ".LOC") into its
// output folder, where the conversion step finds them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/settings.h"
#include "run/run_context.h"

namespace edi::run {

struct StepResult {
  std::string endCode = "0000";
  std::string detailCode = "0000";
  bool ok() const { return endCode == "0000"; }
};

// One line of the package's status file, cut by character position.
struct PackageStatusLine {
  std::string mark;          // 1: "1" ends the file
  std::string infoCode;      // 2-5
  std::string unused;        // 6-17
  std::string inputField;    // 18-23
  std::string outputField;   // 24-29
  std::string resultField;   // 30-31
  std::int32_t inputCount = 0;
  std::int32_t outputCount = 0;
};

// Cuts the line (UTF-8) into the fields and converts the counts. Sets lineCode to "9999"
// when the result field is not a number equal to 0 (a blank result is not a success).
void ParseStatusLine(const std::string& line, PackageStatusLine& rec, std::string& lineCode);

// The partner company codes (相手先企業コード of FL1915センタ利用企業マスタ) of the center.
// "7300"/"0001" when there is none or the table cannot be read.
StepResult LoadCenterPartners(Database& db, const std::string& centerCode, std::vector<std::string>& partners);

// The information codes to extract: FL1914利用情報区分マスタ rows of the center with
// 送受信種別 "S", else the codes of section JKBN_J_S. Throws DatabaseError.
std::vector<std::string> LoadInfoCodes(Database& db, const std::string& centerCode,
                                       const PackageSettings& settings);

// Where the files of one serial live.
std::filesystem::path ParameterFilePath(const PackageSettings& settings, long long serial);
std::filesystem::path StatusFilePath(const PathSettings& paths, long long serial);

// The parameter file's lines (UTF-8, without line ends), in file order.
std::vector<std::string> PackageParameterLines(const std::vector<std::string>& infoCodes,
                                               const std::string& centerCode, long long serial,
                                               const std::string& operatorCode,
                                               const std::filesystem::path& statusFile,
                                               const std::string& partnerCode);

// What a parameter line cannot carry as it stands: the name of the first value (in the
// order of the file) that holds a line end, another control character or the quote that
// encloses it; nullopt when every value can be written.
std::optional<std::string> RefusedParameterValue(const std::vector<std::string>& infoCodes,
                                                 const std::string& centerCode, const std::string& operatorCode,
                                                 const std::filesystem::path& statusFile,
                                                 const std::string& partnerCode);

// Writes the parameter file (CP932, CR LF line ends). False when it cannot be written, or
// when a value is refused (RefusedParameterValue; its name goes to *refused, and nothing is
// written).
bool WritePackageParameterFile(const RunContext& ctx, const PackageSettings& settings,
                               const std::string& centerCode, long long serial, const std::string& partnerCode,
                               std::string* refused = nullptr);

// Starts `commandLine` + " @" + parameter file through /bin/sh -c and waits for it.
// "4100"/"0001" when it cannot be started (also when the shell finds no such command: exit
// code 126 or 127), "4100"/"0003" when it still runs after timeoutSeconds (> 0) and was
// stopped. A stop requested through `stop` ends the package's process group (SIGTERM, then
// SIGKILL after kStopGraceSeconds) and gives the stop code.
StepResult RunPackage(const std::string& commandLine, const std::filesystem::path& parameterFile,
                      int timeoutSeconds, RunStop* stop = nullptr);

// The extraction step of a run. Returns "0000" when every partner's extraction succeeded,
// else the first failing partner's code (the stop code when the run was stopped); the other
// partners are still extracted. `someSucceeded` (when given) tells whether at least one
// partner's extraction succeeded, so that the run goes on with what was extracted.
std::string ExtractViaPackage(const RunContext& ctx, const std::string& centerCode, std::int32_t serial,
                              bool* someSucceeded = nullptr);

}  // namespace edi::run
