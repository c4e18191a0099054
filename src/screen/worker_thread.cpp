#include "screen/worker_thread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <chrono>

namespace edi::screen {

bool WorkerThread::Start(std::function<void()> work, std::function<void()> done) {
  if (running_) return false;
  if (thread_.joinable()) thread_.join();
  running_ = true;
  thread_ = std::thread([this, work = std::move(work), done = std::move(done)]() mutable {
    work();
    QMetaObject::invokeMethod(
        owner_,
        [this, done = std::move(done)] {
          if (thread_.joinable()) thread_.join();
          running_ = false;
          done();
        },
        Qt::QueuedConnection);
  });
  return true;
}

bool WorkerThread::WaitUntilDone(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (running_ && (timeoutMs < 0 || std::chrono::steady_clock::now() < deadline))
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  if (!running_ && thread_.joinable()) thread_.join();
  return !running_;
}

}  // namespace edi::screen
