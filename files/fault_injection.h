#pragma once

#include <atomic>
#include <cstddef>

// Test-only switch that makes the file layer's writes fail on purpose, so that tests can show
// what a run does when a disk fills up or a device fails in the middle of a page. The programs
// never arm it; unarmed, it costs one relaxed atomic load per write call.
namespace qv::fault_injection {

namespace detail {
// Write calls still to go before the armed one fails; 0 when nothing is armed.
inline std::atomic<std::size_t> writes_before_failure{0};
// The errno value the armed write fails with.
inline std::atomic<int> armed_code{0};

inline int take_armed_write_failure() {
  // Counts this call down; the call that brings the count from 1 to 0 is the one that fails.
  std::size_t left = writes_before_failure.load();
  while (left != 0 && !writes_before_failure.compare_exchange_weak(left, left - 1)) {
  }
  return left == 1 ? armed_code.load() : 0;
}
}  // namespace detail

// Arms one failure: of the write calls the file layer makes from now on, the `nth` (1 = the next
// one) fails with `error_code` (an errno value such as ENOSPC) instead of writing. Later writes
// succeed again.
inline void fail_write(std::size_t nth, int error_code) {
  detail::armed_code.store(error_code);
  detail::writes_before_failure.store(nth);
}

// Disarms a failure that has not happened yet.
inline void clear() { detail::writes_before_failure.store(0); }

// Called by the file layer before each write call: the errno value the write must fail with, or 0
// to write normally.
inline int take_write_failure() {
  if (detail::writes_before_failure.load(std::memory_order_relaxed) == 0) return 0;
  return detail::take_armed_write_failure();
}

}  // namespace qv::fault_injection
