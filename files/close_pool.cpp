#include "files/close_pool.h"

#include <csignal>
#include <system_error>

#include <pthread.h>
#include <unistd.h>

namespace qv::posix {
namespace {

// Enough to keep a few releases under way while the page loop renames the next pages; the queue
// bound keeps the open descriptors far below any limit.
constexpr std::size_t kThreads = 3;
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

// The threads block every signal, so that stop requests keep reaching the thread that runs the
// page loop, as without them.
void ClosePool::start_threads() {
  sigset_t all, previous;
  sigfillset(&all);
  ::pthread_sigmask(SIG_SETMASK, &all, &previous);
  try {
    for (std::size_t i = 0; i < kThreads; ++i) threads_.emplace_back([this] { work(); });
  } catch (const std::system_error&) {
    // Fewer threads, or none: close() then closes in place.
  }
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void ClosePool::close(int fd) {
  std::unique_lock lock(mutex_);
  if (threads_.empty()) start_threads();
  if (threads_.empty()) {
    lock.unlock();
    ::close(fd);
    return;
  }
  room_.wait(lock, [this] { return queue_.size() < kQueued; });
  queue_.push_back(fd);
  lock.unlock();
  work_.notify_one();
}

void ClosePool::wait() {
  std::unique_lock lock(mutex_);
  room_.wait(lock, [this] { return queue_.empty() && closing_ == 0; });
}

void ClosePool::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] { return !queue_.empty() || ending_; });
    if (queue_.empty()) return;
    const int fd = queue_.front();
    queue_.pop_front();
    ++closing_;
    lock.unlock();
    room_.notify_all();
    ::close(fd);
    lock.lock();
    --closing_;
    if (queue_.empty() && closing_ == 0) room_.notify_all();
  }
}

}  // namespace qv::posix
