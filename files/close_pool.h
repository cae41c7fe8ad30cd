#pragma once

// Closing a page's last descriptor after its rename releases the replaced file, and on some file
// systems that release (freeing and discarding its blocks) is the slowest step of a page. The
// closes need no order, so a few threads do them while the page loop goes on.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "system/page_io.h"

namespace qv {

// A bounded queue of files to close and the threads that close them.
class ClosePool {
 public:
  ClosePool() = default;
  ClosePool(const ClosePool&) = delete;
  ClosePool& operator=(const ClosePool&) = delete;
  // Closes whatever is still queued, then ends the threads.
  ~ClosePool();

  // Queues `fd` for closing; waits while the queue is full, so that the descriptors open at once
  // stay bounded. The threads start with the first descriptor.
  void close(sys::NativeFile fd);
  // Returns once every descriptor queued so far is closed.
  void wait();

 private:
  void start_threads();
  void work();

  std::mutex mutex_;
  std::condition_variable work_;  // a batch of descriptors queued, or a drain or the end asked for
  std::condition_variable room_;  // descriptors taken off the queue or closed
  std::deque<sys::NativeFile> queue_;
  std::size_t closing_ = 0;  // taken off the queue, not yet closed
  bool draining_ = false;    // wait() is waiting: close what is queued, however little
  bool ending_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace qv
