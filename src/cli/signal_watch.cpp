#include "cli/signal_watch.h"

#include <pthread.h>

namespace edi::cli {
namespace {
// Sent by the destructor to end the watching thread; never a stop.
constexpr int kWake = SIGUSR1;
}  // namespace

SignalWatch::SignalWatch(run::RunStop& stop) {
  sigemptyset(&watched_);
  sigaddset(&watched_, kWake);
  for (int s : {SIGTERM, SIGINT, SIGHUP}) {
    // A signal the caller chose to ignore (nohup, a background job's SIGINT) stays ignored.
    struct sigaction current {};
    if (sigaction(s, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    sigaddset(&watched_, s);
  }
  pthread_sigmask(SIG_BLOCK, &watched_, &previous_);
  thread_ = std::thread([this, &stop] {
    for (;;) {
      int received = 0;
      if (sigwait(&watched_, &received) != 0 || received == kWake) return;
      int none = 0;
      signal_.compare_exchange_strong(none, received);
      // A second signal repeats the request: the package's group gets SIGTERM again.
      stop.Request(signal_.load());
    }
  });
}

SignalWatch::~SignalWatch() {
  pthread_kill(thread_.native_handle(), kWake);
  thread_.join();
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

}  // namespace edi::cli
