// One piece of work at a time on a thread of its own, for a controller that lives on the
// window's thread and must keep the window responsive: the run of marked centers, a resend.
// When the work ends, `done` runs on the controller's thread (queued behind everything the
// work posted there before), with the thread already joined and running() false.
#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <thread>

namespace edi::screen {

class WorkerThread {
 public:
  // `owner`: the controller whose thread runs `done` and serves the work's requests.
  explicit WorkerThread(QObject* owner) : owner_(owner) {}
  // Waits for work still running (the owner should call WaitUntilDone first, while all
  // that the work uses still exists).
  ~WorkerThread() { WaitUntilDone(); }
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Starts the work; false when work is still running.
  bool Start(std::function<void()> work, std::function<void()> done);
  bool running() const { return running_; }
  // Serves the owner thread's events while the work runs (it may be waiting for an answer
  // from that thread), for at most `timeoutMs` (negative: until it ends). True when it ended.
  bool WaitUntilDone(int timeoutMs = -1);

 private:
  QObject* owner_;
  std::thread thread_;
  std::atomic<bool> running_{false};
};

}  // namespace edi::screen
