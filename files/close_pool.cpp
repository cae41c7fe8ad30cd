#include "files/close_pool.h"

#include <algorithm>
#include <system_error>

#include "system/stop_requests.h"

namespace qv {
namespace {

// A few releases under way at once keep up with the page loop. A thread is woken for a batch of
// descriptors, not for each: waking costs system calls of its own. The queue bound keeps the
// descriptors open at once far below any limit.
constexpr std::size_t kThreads = 3;
constexpr std::size_t kBatch = 16;
constexpr std::size_t kQueued = 64;

}  // namespace

ClosePool::~ClosePool() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  work_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

// Stop requests keep reaching the thread that runs the page loop, as without the pool.
void ClosePool::start_threads() {
  start_threads_deaf_to_stops([this] {
    try {
      for (std::size_t i = 0; i < kThreads; ++i) threads_.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
      // Fewer threads, or none: close() then closes in place.
    }
  });
}

void ClosePool::close(sys::NativeFile fd) {
  std::unique_lock lock(mutex_);
  if (threads_.empty()) start_threads();
  if (threads_.empty()) {
    lock.unlock();
    sys::close_file(fd);
    return;
  }
  room_.wait(lock, [this] { return queue_.size() < kQueued; });
  queue_.push_back(fd);
  const bool batch_ready = queue_.size() % kBatch == 0;
  lock.unlock();
  if (batch_ready) work_.notify_one();
}

void ClosePool::wait() {
  std::unique_lock lock(mutex_);
  if (queue_.empty() && closing_ == 0) return;
  draining_ = true;
  work_.notify_all();
  room_.wait(lock, [this] { return queue_.empty() && closing_ == 0; });
  draining_ = false;
}

void ClosePool::work() {
  std::vector<sys::NativeFile> batch;
  std::unique_lock lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] {
      return queue_.size() >= kBatch || ((draining_ || ending_) && !queue_.empty()) || ending_;
    });
    if (queue_.empty()) return;  // ending
    const std::size_t count = std::min(queue_.size(), kBatch);
    batch.assign(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(count));
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(count));
    closing_ += count;
    const bool was_full = queue_.size() + count >= kQueued;
    lock.unlock();
    if (was_full) room_.notify_all();
    for (sys::NativeFile fd : batch) sys::close_file(fd);
    lock.lock();
    closing_ -= count;
    if (draining_ && queue_.empty() && closing_ == 0) room_.notify_all();
  }
}

}  // namespace qv
