#include "run/run_stop.h"

#include <signal.h>

#include <cstdio>

namespace edi::run {

void RunStop::Request(int signal) {
  std::lock_guard lock(mutex_);
  signal_ = signal;
  requested_ = true;
  if (package_ > 0) kill(-package_, SIGTERM);
}

std::string RunStop::detailCode() const {
  char text[8];
  std::snprintf(text, sizeof text, "%04d", signal_.load() % 10000);
  return text;
}

void RunStop::PackageStarted(pid_t processGroup) {
  std::lock_guard lock(mutex_);
  package_ = processGroup;
  if (requested_) kill(-package_, SIGTERM);
}

void RunStop::PackageEnded() {
  std::lock_guard lock(mutex_);
  package_ = 0;
}

}  // namespace edi::run
