#pragma once

// A few threads that do the file work of pages ahead of the page loop, where each step of a page
// waits for a server: the loop hands them jobs and waits only for the one it needs next.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace qv {

// A fixed set of threads running queued jobs, each of which raises its own flag when it ends.
class Workers {
 public:
  // Starts `threads` threads (fewer, or none, when the system refuses: jobs then run in place).
  explicit Workers(std::size_t threads);
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;
  // Finishes the queued jobs, then ends the threads.
  ~Workers();

  // Queues `job`; `ended` is cleared now and set once the job has run, both under the workers'
  // lock. `ended` must outlive the job; the job must not throw.
  void run(std::function<void()> job, bool& ended);
  // Waits until `ready` (evaluated under the workers' lock, again after each job that ends) holds.
  void wait_until(const std::function<bool()>& ready);
  // Whether `condition` (evaluated under the workers' lock) holds now.
  bool holds(const std::function<bool()>& condition);

 private:
  struct Job {
    std::function<void()> work;
    bool* ended;
  };
  void work();

  std::mutex mutex_;
  std::condition_variable queued_;  // a job queued, or the end asked for
  std::condition_variable ended_;   // a job ended
  std::deque<Job> queue_;
  bool ending_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace qv
