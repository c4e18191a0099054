// A workspace for transfer-run tests: folders, a database with masters, an EDI.ini whose
// package command starts the stand-in package mgpkg with a configuration of the bench's
// own, and a Workstation started from that EDI.ini.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/workstation.h"
#include "run/run_driver.h"
#include "test_support.h"

namespace edi::test {

struct BenchOptions {
  bool postgres = false;
  // MGCMDLINEZS, "{root}" standing for the bench's folder; default: mgpkg with the bench config
  std::optional<std::string> packageCommand;
  int timeoutSeconds = 0;                     // MGTIMEOUT
  std::vector<std::string> defaultInfoCodes;  // section JKBN_J_S
  std::string historyPrefix;                  // FL1102_FILE
  std::string extraIni;                       // more sections, UTF-8
};

class RunBench {
 public:
  explicit RunBench(BenchOptions options = {});
  bool available() const { return db_ != nullptr; }  // false: PostgreSQL asked for, none running

  Database& master() { return db_->db(); }
  const std::string& iniSection() const { return db_->iniSection(); }

  void AddCenter(const std::string& code, const std::string& method = "Z", const std::string& format = "C",
                 std::optional<std::string> kmxPath = std::nullopt, std::optional<std::string> mail = std::nullopt,
                 const std::string& terminal = "T1");
  void AddPartner(const std::string& center, const std::string& partner, int order = 0);
  void AddInfoCode(const std::string& center, const std::string& code, int order = 0);
  // The package's in-house data for an information code.
  void WriteData(const std::string& infoCode, const std::string& bytes);
  // mgpkg.ini: DATA, OUT and LOG of the bench, then these lines.
  void ConfigurePackage(const std::vector<std::string>& lines = {});

  // Starts the workstation from EDI.ini for the terminal (settings, database, centers).
  std::optional<StartupFailure> Start(const std::string& terminal = "T1");

  // All history rows, ordered by serial and branch.
  std::vector<Row> History();
  std::vector<std::string> FileNames(const std::filesystem::path& folder) const;

  Workstation ws;
  std::filesystem::path root, ini, in, out, old, status, param, data, send, mgpkgConfig, mgpkgLog;
  std::string operatorCode = "OP01";

 private:
  TempDir dir_;
  std::unique_ptr<TestDatabase> db_;
};

// The demo's center masters (db/demo/centers) loaded the way scripts/demo loads them: the
// terminal and the bench's folder put in place of @TERMINAL@ and @WORKSPACE@, then imported.
// False when they are not in the tree; a refused import throws.
bool LoadDemoCenters(RunBench& b, const std::string& terminal = "T1");

// A listener that keeps what the run tells it.
class RecordingListener : public run::RunListener {
 public:
  class Mail : public mail::MailProgress {
   public:
    void Open() override {}
    void AddLine(const std::string& line) override { lines.push_back(line); }
    void ShowError(const std::string& text) override { errors.push_back(text); }
    void Close() override {}
    std::vector<std::string> lines, errors;
  };
  void PassStarted() override { events.push_back("pass"); }
  void CenterStarted(int row) override { events.push_back("start " + std::to_string(row)); }
  void CenterFinished(int row) override { events.push_back("end " + std::to_string(row)); }
  void PassFinished() override { events.push_back("done"); }
  void Log(const std::string& line) override { log.push_back(line); }
  mail::MailProgress& mailProgress() override { return mail; }

  std::vector<std::string> events, log;
  Mail mail;
};

// An `edi` process on the bench's EDI.ini: its exit code and its output (stdout and stderr).
struct EdiOutcome {
  int exitCode;
  std::string out;
};
EdiOutcome RunEdi(RunBench& b, const std::string& args);

// The row of the bench's center list with this code (its index), -1 when absent.
int RowOf(const Workstation& ws, const std::string& center);

}  // namespace edi::test
