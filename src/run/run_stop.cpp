#include "run/run_stop.h"

#include <cstdio>

namespace edi::run {

void RunStop::Request(int signal) {
  std::lock_guard lock(mutex_);
  signal_ = signal;
  requested_ = true;
  if (package_ > 0) platform::AskTreeToStop(package_);
}

std::string RunStop::detailCode() const {
  char text[8];
  std::snprintf(text, sizeof text, "%04d", signal_.load() % 10000);
  return text;
}

void RunStop::PackageStarted(platform::ProcessId processGroup) {
  std::lock_guard lock(mutex_);
  package_ = processGroup;
  if (requested_) platform::AskTreeToStop(package_);
}

void RunStop::PackageEnded() {
  std::lock_guard lock(mutex_);
  package_ = 0;
}

}  // namespace edi::run
