// The stop signals are blocked in every thread and taken by a thread of the watch's own
// with sigwait, so that the callback runs as ordinary code, never inside a signal handler.
#include "platform/stop_signals.h"

#include <pthread.h>
#include <signal.h>

#include <cstring>
#include <thread>

namespace edi::platform {
namespace {
// Sent by the destructor to end the watching thread; never a stop.
constexpr int kWake = SIGUSR1;
}  // namespace

struct StopSignalWatch::State {
  sigset_t watched{}, previous{};
  std::thread thread;
};

StopSignalWatch::StopSignalWatch(std::function<void(int)> onStop) : state_(std::make_unique<State>()) {
  State& s = *state_;
  sigemptyset(&s.watched);
  sigaddset(&s.watched, kWake);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    // A signal the caller chose to ignore (nohup, a background job's SIGINT) stays ignored.
    struct sigaction current {};
    if (sigaction(sig, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    sigaddset(&s.watched, sig);
  }
  pthread_sigmask(SIG_BLOCK, &s.watched, &s.previous);
  s.thread = std::thread([&s, onStop = std::move(onStop)] {
    for (;;) {
      int received = 0;
      if (sigwait(&s.watched, &received) != 0 || received == kWake) return;
      onStop(received);
    }
  });
}

StopSignalWatch::~StopSignalWatch() {
  pthread_kill(state_->thread.native_handle(), kWake);
  state_->thread.join();
  pthread_sigmask(SIG_SETMASK, &state_->previous, nullptr);
}

std::string StopSignalName(int number) {
  const char* name = strsignal(number);
  return name ? name : std::to_string(number);
}

}  // namespace edi::platform
