// The console control handler: Ctrl-C and Ctrl-Break, the console window closed, log-off and
// shutdown. The system calls the handler on a thread of its own, which hands the event on as
// a signal number. After a close, log-off or shutdown the system ends the process once the
// handler returns, so the handler waits (up to 4.5 s of the 5 s Windows grants) until the
// watch is destroyed, that is until the stopped work has closed what it had open.
#include "platform/stop_signals.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/windows/win_text.h"

namespace edi::platform {

struct StopSignalWatch::State {
  std::function<void(int)> onStop;
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
};

namespace {

// The console handler has no context argument: the watch in effect is the one process-wide
// pointer the API leaves room for.
std::atomic<StopSignalWatch::State*> current{nullptr};

BOOL WINAPI OnConsoleEvent(DWORD event) {
  StopSignalWatch::State* state = current.load();
  if (state == nullptr) return FALSE;
  int signal = 0;
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT: signal = 2; break;
    case CTRL_CLOSE_EVENT: signal = 1; break;
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: signal = 15; break;
    default: return FALSE;
  }
  state->onStop(signal);
  if (signal != 2) {
    std::unique_lock lock(state->mutex);
    state->ended.wait_for(lock, std::chrono::milliseconds(4500), [state] { return state->done; });
  }
  return TRUE;
}

}  // namespace

StopSignalWatch::StopSignalWatch(std::function<void(int)> onStop) : state_(std::make_unique<State>()) {
  state_->onStop = std::move(onStop);
  current.store(state_.get());
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

StopSignalWatch::~StopSignalWatch() {
  SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
  current.store(nullptr);
  {
    std::lock_guard lock(state_->mutex);
    state_->done = true;
  }
  state_->ended.notify_all();
}

std::string StopSignalName(int number) {
  switch (number) {
    case 2: return "Ctrl-C or Ctrl-Break";
    case 1: return "console closed";
    case 15: return "log-off or shutdown";
    default: return std::to_string(number);
  }
}

}  // namespace edi::platform
