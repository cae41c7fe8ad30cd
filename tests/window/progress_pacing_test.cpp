// When a run's progress is shown, on a clock moved by hand.
#include "window/progress_pacing.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

using namespace std::chrono_literals;

TEST(ProgressPacing, quietForASecondThenAtMostEveryFiftyMillisecondsAgainEachRun) {
  auto now = std::chrono::steady_clock::time_point{};
  ProgressPacing pacing([&now] { return now; });
  pacing.begin();
  now += 999ms;
  EXPECT_FALSE(pacing.due());
  now += 1ms;
  EXPECT_TRUE(pacing.due());
  now += 49ms;
  EXPECT_FALSE(pacing.due());
  now += 1ms;
  EXPECT_TRUE(pacing.due());

  pacing.begin();  // the next run is quiet again
  now += 500ms;
  EXPECT_FALSE(pacing.due());
}

}  // namespace
}  // namespace qv
