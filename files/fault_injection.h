#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>

// Test-only switches: one makes the file layer's writes fail on purpose, so that tests can show
// what a run does when a disk fills up or a device fails in the middle of a page; the other runs a
// test's action between a page's read and its replacement, so that races (a page edited, swapped
// for a link or a pipe) happen at a known instant. The programs never arm them; unarmed, each
// costs one relaxed atomic load per call.
namespace qv::fault_injection {

namespace detail {
// Write calls still to go before the armed one fails; 0 when nothing is armed.
inline std::atomic<std::size_t> writes_before_failure{0};
// The errno value the armed write fails with.
inline std::atomic<int> armed_code{0};

inline std::atomic<bool> action_armed{false};
inline std::function<void(const std::string&)> action_before_replace;

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

// Runs `action` with the page's listed path each time the file layer is about to check that a
// page is still the file it read and to replace it (after its new content is on stable storage).
inline void before_replace(std::function<void(const std::string& path)> action) {
  detail::action_before_replace = std::move(action);
  detail::action_armed.store(static_cast<bool>(detail::action_before_replace));
}

// Disarms a failure that has not happened yet, and the action.
inline void clear() {
  detail::writes_before_failure.store(0);
  before_replace(nullptr);
}

// Called by the file layer before it replaces a page.
inline void run_before_replace(const std::string& path) {
  if (detail::action_armed.load(std::memory_order_relaxed)) detail::action_before_replace(path);
}

// Called by the file layer before each write call: the errno value the write must fail with, or 0
// to write normally.
inline int take_write_failure() {
  if (detail::writes_before_failure.load(std::memory_order_relaxed) == 0) return 0;
  return detail::take_armed_write_failure();
}

}  // namespace qv::fault_injection
