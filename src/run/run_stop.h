// Stopping a run from outside: a signal to `edi run` (SIGTERM, SIGINT, SIGHUP) or the window
// closed by the system while a run works. The request stops the package that the run waits
// for (its whole process group) at once; the steps look at the request between their units
// of work, close the history rows they opened with the stop code and start nothing new.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "platform/process.h"

namespace edi::run {

// The end code of every history row that a stop closed; its detail code is the signal's
// number as four digits ("0015" SIGTERM, "0002" SIGINT, "0001" SIGHUP; "0000" a stop
// without a signal).
inline constexpr const char* kStoppedCode = "9900";

// Seconds that a stopped package gets to end after SIGTERM before it is killed.
inline constexpr int kStopGraceSeconds = 3;

class RunStop {
 public:
  // Thread-safe and callable from any thread (not from a signal handler).
  void Request(int signal);
  bool requested() const { return requested_.load(); }
  // The detail code of the stop (the signal as four digits).
  std::string detailCode() const;

  // The process group of the package the run waits for; 0 when none. A request that comes
  // while a package runs sends it SIGTERM.
  void PackageStarted(platform::ProcessId processGroup);
  void PackageEnded();

 private:
  std::atomic<bool> requested_{false};
  std::atomic<int> signal_{0};
  std::mutex mutex_;
  platform::ProcessId package_ = 0;
};

}  // namespace edi::run
