#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "batch/page_batch.h"

namespace qv::testing {

// A page-loop observer that makes faults and races happen at a known instant: a write that fails
// as a full disk or a failing device would, an action just before a page's replacement, an action
// while a page is in hand.
class BatchFaults : public BatchObserver {
 public:
  // Of the writes from now on, the `nth` (1 = the next) and the `times` after it fail with
  // `error_code` (an errno value), as on a disk that stays full unless told how many.
  void fail_write(std::size_t nth, int error_code, std::size_t times = SIZE_MAX) {
    writes_before_failure_ = nth;
    error_code_ = error_code;
    failures_left_ = times;
  }
  std::function<void(const std::string& path)> before_replace_action;
  std::function<void(std::size_t index)> page_in_hand_action;

  int write_failure() override {
    if (writes_before_failure_ == 0 || failures_left_ == 0) return 0;
    if (writes_before_failure_ > 1) {
      --writes_before_failure_;
      return 0;
    }
    --failures_left_;
    return error_code_;
  }
  void before_replace(const std::string& path) override {
    if (before_replace_action) before_replace_action(path);
  }
  void page_in_hand(std::size_t index) override {
    if (page_in_hand_action) page_in_hand_action(index);
  }

 private:
  std::size_t writes_before_failure_ = 0;
  int error_code_ = 0;
  std::size_t failures_left_ = 0;
};

}  // namespace qv::testing
