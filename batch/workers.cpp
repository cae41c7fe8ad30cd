#include "batch/workers.h"

#include <system_error>

#include "system/stop_requests.h"

namespace qv {

// Stop requests keep reaching the thread that runs the page loop.
Workers::Workers(std::size_t threads) {
  start_threads_deaf_to_stops([&] {
    try {
      for (std::size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
      // Fewer threads, or none.
    }
  });
}

Workers::~Workers() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  queued_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void Workers::run(std::function<void()> job, bool& ended) {
  if (threads_.empty()) {
    job();
    std::lock_guard lock(mutex_);
    ended = true;
    return;
  }
  {
    std::lock_guard lock(mutex_);
    ended = false;
    queue_.push_back({std::move(job), &ended});
  }
  queued_.notify_one();
}

void Workers::wait_until(const std::function<bool()>& ready) {
  std::unique_lock lock(mutex_);
  ended_.wait(lock, ready);
}

bool Workers::holds(const std::function<bool()>& condition) {
  std::lock_guard lock(mutex_);
  return condition();
}

void Workers::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    queued_.wait(lock, [this] { return ending_ || !queue_.empty(); });
    if (queue_.empty()) return;  // ending, nothing left
    Job job = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    job.work();
    lock.lock();
    *job.ended = true;
    ended_.notify_all();
  }
}

}  // namespace qv
