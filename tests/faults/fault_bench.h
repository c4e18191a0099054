// Pieces the fault tests share on top of the run bench: the demo formats loaded into the
// bench's database (so conversions succeed), a tmpfs mounted over a folder (a full disk, a
// folder made read-only even for root), finding and killing the stand-in package, a
// listener that acts when the run reaches a step, and the checks every fault test makes.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "run_bench.h"

namespace edi::test {

// The demo's in-house file (information code 0101), "" when absent.
std::string DemoLocalFile();

// A bench whose centers convert: demo formats and the demo in-house data as code 0101.
// available() is false when the demo files or the database are missing.
struct ConvertingBench {
  explicit ConvertingBench(BenchOptions options = {});
  bool available() const { return ok; }
  // A center of the bench's terminal with a send path, one partner and code 0101.
  void AddConvertingCenter(const std::string& code, const std::string& terminal = "T1");
  RunBench bench;
  bool ok = false;
};

// The two converting centers most fault tests run: C1 (partner PC1) and C2 (partner PC2).
// With `hangFirst`, PC1's package sleeps until it is killed.
void AddTwoConvertingCenters(ConvertingBench& cb, bool hangFirst = false);

// Options for a bench whose package the test stops itself: the time-out is only a backstop.
BenchOptions StoppedPackageOptions(bool postgres = false);

// From a thread of its own: waits until PC1's package has read its parameter file, calls
// `beforeKill` (stopping a server, say), then kills every process of the bench's package.
// Join() (or the destructor) waits for it.
class PackageStopper {
 public:
  explicit PackageStopper(RunBench& b, std::function<void()> beforeKill = {});
  ~PackageStopper();
  void Join();

 private:
  std::thread thread_;
};

// True once no process of the bench's package is left (waiting a little: a killed process
// that the run no longer waits for, such as the shell's child, may take a moment to go).
bool PackageGone(RunBench& b);

// A tmpfs mounted over a folder for the test's life; mounted() is false when the process
// may not mount (the test then skips).
class TmpfsMount {
 public:
  TmpfsMount(const std::filesystem::path& folder, const std::string& size);
  ~TmpfsMount();
  bool mounted() const { return mounted_; }
  bool SetReadOnly(bool readOnly);

 private:
  std::filesystem::path folder_;
  std::string size_;
  bool mounted_ = false;
};

// Processes whose command line holds `needle` (the bench's folder names its processes).
std::vector<pid_t> ProcessesWith(const std::string& needle);
// Waits (up to `seconds`) for the predicate; returns its last value.
bool WaitFor(const std::function<bool()>& predicate, int seconds = 30);

// A listener that calls a hook for every log line the run writes (step texts such as
// "C1 変換: 変換中"), before the step starts.
class HookListener : public RecordingListener {
 public:
  std::function<void(const std::string&)> onLog;
  std::function<void(int)> onCenterFinished;
  void Log(const std::string& line) override {
    RecordingListener::Log(line);
    if (onLog) onLog(line);
  }
  void CenterFinished(int row) override {
    RecordingListener::CenterFinished(row);
    if (onCenterFinished) onCenterFinished(row);
  }
};

// Files (name → bytes) of a folder, to see that nothing in it was lost or changed.
std::map<std::string, std::string> Snapshot(const std::filesystem::path& folder);

// The row's three status texts and state, "抽出|変換|送信|state".
std::string OutcomeOf(RunBench& b, const std::string& center);
// "work:end/detail" of each history row of the serial, in branch order.
std::vector<std::string> Codes(RunBench& b, long long serial);
// The serial of the center's run (its branch 0 row), 0 when there is none.
long long SerialOfCenter(RunBench& b, const std::string& center);
// Every history row has its end date, time and code.
void ExpectEveryRowCompleted(const std::vector<Row>& rows);

// Names of a run's files as the tests expect them (center field: the code and "_" to 12).
std::string InHouseName(long long serial, const std::string& center, const std::string& code = "0101");
std::string ResultName(long long serial, const std::string& center);
bool LogHas(const RecordingListener& l, const std::string& text);
// Writes `file` until its file system is full.
void FillDisk(const std::filesystem::path& file);

void RunCenters(RunBench& b, const std::vector<std::string>& centers, run::RunListener& listener);

}  // namespace edi::test
