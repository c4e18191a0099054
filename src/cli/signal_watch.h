// SIGTERM, SIGINT and SIGHUP during `edi run` (on Windows: Ctrl-C, the console closed,
// log-off): instead of ending the process in the middle of a step (with the package left
// running and history rows left open), they ask the run to stop. The platform layer takes
// them on a thread of its own, which hands them to the run's RunStop. A signal that the
// caller ignores (nohup) stays ignored.
#pragma once

#include <atomic>

#include "platform/stop_signals.h"
#include "run/run_stop.h"

namespace edi::cli {

class SignalWatch {
 public:
  // Must be made before any other thread is started, so that every thread inherits the mask.
  explicit SignalWatch(run::RunStop& stop);
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

  int received() const { return signal_.load(); }  // the first stop signal, 0 when none came

 private:
  std::atomic<int> signal_{0};
  platform::StopSignalWatch watch_;
};

}  // namespace edi::cli
