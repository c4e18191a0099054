#include "cli/signal_watch.h"

namespace edi::cli {

SignalWatch::SignalWatch(run::RunStop& stop)
    : watch_([this, &stop](int received) {
        int none = 0;
        signal_.compare_exchange_strong(none, received);
        // A second signal repeats the request: the package's group gets SIGTERM again.
        stop.Request(signal_.load());
      }) {}

}  // namespace edi::cli
