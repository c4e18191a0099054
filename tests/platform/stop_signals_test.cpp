// A stop request from outside reaches the callback as its signal number instead of ending
// the process, and the usual handling is back once the watch is gone.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/stop_signals.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

namespace edi::platform {
namespace {

TEST(StopSignals, AStopRequestBecomesACallWithItsNumber) {
  std::atomic<int> received{0};
  {
    StopSignalWatch watch([&](int signal) { received = signal; });
#ifdef _WIN32
    // Ctrl-C to this console's group (wine without a console may not deliver it).
    if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) GTEST_SKIP() << "no console to send Ctrl-C to";
#else
    ::kill(::getpid(), SIGTERM);
#endif
    for (int i = 0; i < 200 && received == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
#ifdef _WIN32
  if (received == 0) GTEST_SKIP() << "the console delivered no Ctrl-C";
  EXPECT_EQ(received, 2);
#else
  EXPECT_EQ(received, 15);
  sigset_t blocked;
  pthread_sigmask(SIG_BLOCK, nullptr, &blocked);
  EXPECT_FALSE(sigismember(&blocked, SIGTERM));
#endif
}

}  // namespace
}  // namespace edi::platform
