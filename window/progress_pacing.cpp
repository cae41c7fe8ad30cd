#include "window/progress_pacing.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

constexpr auto kQuiet = 1s;  // shorter runs show nothing
constexpr auto kBetweenUpdates = 50ms;

}  // namespace

void ProgressPacing::begin() {
  started_ = clock_();
  last_shown_.reset();
}

bool ProgressPacing::due() {
  const auto now = clock_();
  if (last_shown_ ? now - *last_shown_ < kBetweenUpdates : now - started_ < kQuiet) return false;
  last_shown_ = now;
  return true;
}

}  // namespace qv
