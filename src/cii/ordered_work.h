// Work on consecutive chunks of a file shared between the calling thread and one helper
// thread, handed back to the caller in the order the chunks were added.
//
// The caller fills the chunk at Back(), hands it over with Add(), and takes finished chunks
// from the front with Front()/PopFront(). While it waits for the front chunk it works on
// chunks that nobody has started, so with no helper (or a slow one) everything still gets
// done, in the caller's thread. A chunk is touched by one thread at a time: the caller until
// Add(), then whoever works on it, then the caller again once Front() returns it. The helper
// thread starts at the first Add() and is stopped (after the chunk it is working on) when
// the object goes. What the work throws on the helper thread is thrown again by Front() for
// that chunk, in the caller's thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace edi::cii {

template <typename Chunk>
class OrderedWork {
 public:
  // work(chunk, worker): worker 0 is the calling thread, 1 the helper; each may keep its
  // own scratch state by that number.
  using Work = std::function<void(Chunk&, int worker)>;

  OrderedWork(std::size_t capacity, bool useHelper, Work work)
      : chunks_(capacity < 2 ? 2 : capacity), useHelper_(useHelper), work_(std::move(work)),
        finishedFlags_(chunks_.size(), 0), errors_(chunks_.size()) {}
  ~OrderedWork() {
    if (!helper_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    helper_.join();
  }
  OrderedWork(const OrderedWork&) = delete;
  OrderedWork& operator=(const OrderedWork&) = delete;

  bool Empty() const { return head_ == added_; }
  bool Full() const { return added_ - head_ == chunks_.size(); }

  // The chunk to fill next; only while !Full().
  Chunk& Back() { return chunks_[added_ % chunks_.size()]; }

  void Add() {
    if (useHelper_ && !helper_.joinable()) {
      try {
        helper_ = std::thread([this] { Help(); });
      } catch (const std::system_error&) {
        useHelper_ = false;  // no thread to be had: the caller does all the work
      }
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++added_;
    }
    wake_.notify_one();
  }

  // The oldest chunk added and not yet popped, once its work is done; only while !Empty().
  Chunk& Front() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!Finished(head_)) {
      if (started_ < added_) {
        WorkOnNext(lock, 0);
      } else {
        finished_.wait(lock);
      }
    }
    if (std::exception_ptr error = std::exchange(errors_[head_ % chunks_.size()], nullptr)) std::rethrow_exception(error);
    return chunks_[head_ % chunks_.size()];
  }
  // The front chunk when its work is already done, else nullptr (never waits or works).
  Chunk* FrontIfDone() {
    if (Empty()) return nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!Finished(head_)) return nullptr;
    }
    return &Front();
  }
  void PopFront() { ++head_; }

 private:
  // Chunks finish out of order (the caller may finish a later one first): the flag of a ring
  // position holds k + 1 once chunk k is done. Called with the mutex held.
  bool Finished(std::size_t k) const { return finishedFlags_[k % chunks_.size()] == k + 1; }
  void MarkFinished(std::size_t k) {
    finishedFlags_[k % chunks_.size()] = k + 1;
    finished_.notify_one();
  }
  void Help() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stop_ || started_ < added_; });
      if (stop_) return;
      WorkOnNext(lock, 1);
    }
  }
  // Works on the next chunk nobody has started (the lock is held on entry and on return,
  // released while working). What the work throws is kept for Front().
  void WorkOnNext(std::unique_lock<std::mutex>& lock, int worker) {
    const std::size_t k = started_++;
    lock.unlock();
    std::exception_ptr error;
    try {
      work_(chunks_[k % chunks_.size()], worker);
    } catch (...) {
      error = std::current_exception();
    }
    lock.lock();
    errors_[k % chunks_.size()] = error;
    MarkFinished(k);
  }

  std::vector<Chunk> chunks_;
  bool useHelper_;
  Work work_;
  std::vector<std::size_t> finishedFlags_;
  std::vector<std::exception_ptr> errors_;  // what the work on a chunk threw
  std::thread helper_;
  std::mutex mutex_;
  std::condition_variable wake_, finished_;
  // Counts since the start, not ring positions: added_ ≥ started_ ≥ head_. head_ and the
  // chunk contents at Back() belong to the caller.
  std::size_t head_ = 0, added_ = 0, started_ = 0;
  bool stop_ = false;
};

}  // namespace edi::cii
