// SIGTERM, SIGINT and SIGHUP during `edi run`: instead of ending the process in the middle of
// a step (with the package left running and history rows left open), they ask the run to
// stop. The signals are blocked in every thread and taken by a thread of its own, which
// hands them to the run's RunStop. A signal that the caller ignores (nohup) stays ignored.
#pragma once

#include <signal.h>

#include <atomic>
#include <thread>

#include "run/run_stop.h"

namespace edi::cli {

class SignalWatch {
 public:
  // Must be made before any other thread is started, so that every thread inherits the mask.
  explicit SignalWatch(run::RunStop& stop);
  // Ends the watching thread and gives the signals back their usual handling.
  ~SignalWatch();
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

  int signal() const { return signal_.load(); }  // the first stop signal, 0 when none came

 private:
  sigset_t watched_{}, previous_{};
  std::atomic<int> signal_{0};
  std::thread thread_;
};

}  // namespace edi::cli
