// The requests from outside to stop this process: SIGTERM, SIGINT and SIGHUP on POSIX;
// Ctrl-C, Ctrl-Break, the console window closed and log-off or shutdown on Windows. While a
// watch exists they do not end the process: each one calls `onStop` with a signal number
// (15 terminate, 2 interrupt, 1 hang-up; Windows: Ctrl-C and Ctrl-Break 2, close 1,
// log-off and shutdown 15) on a thread of the watch's own.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace edi::platform {

class StopSignalWatch {
 public:
  // POSIX: must be made before any other thread is started, so that every thread inherits
  // the blocked signals. A signal that the caller ignores (nohup) stays ignored.
  explicit StopSignalWatch(std::function<void(int)> onStop);
  // Ends the watching and gives the signals back their usual handling.
  ~StopSignalWatch();
  StopSignalWatch(const StopSignalWatch&) = delete;
  StopSignalWatch& operator=(const StopSignalWatch&) = delete;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

// The system's name of a stop signal's number, for messages ("Terminated"; Windows: the event).
std::string StopSignalName(int number);

}  // namespace edi::platform
