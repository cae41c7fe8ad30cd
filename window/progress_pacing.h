#pragma once

#include <chrono>
#include <functional>
#include <optional>

namespace qv {

// The clock the window's timing reads; tests give one they move by hand.
using SteadyClock = std::function<std::chrono::steady_clock::time_point()>;

// When a run's progress is worth showing: not during the run's first second (a short run shows
// nothing), then a new page at most every 50 ms — faster than the eye follows, and relabelling
// the display for every page would cost the run more than the page itself.
class ProgressPacing {
 public:
  explicit ProgressPacing(SteadyClock clock = std::chrono::steady_clock::now)
      : clock_(std::move(clock)) {}

  // Reads `clock` from now on.
  void set_clock(SteadyClock clock) { clock_ = std::move(clock); }
  // A run begins now; nothing of it is shown yet.
  void begin();
  // Whether the page now in hand is to be shown.
  bool due();

 private:
  SteadyClock clock_;
  std::chrono::steady_clock::time_point started_;
  std::optional<std::chrono::steady_clock::time_point> last_shown_;
};

}  // namespace qv
