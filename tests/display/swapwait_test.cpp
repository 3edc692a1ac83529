// How long a buffer swap may wait, whatever divisor the settings hold.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "display/glidedisplay.h"
#include "glide/boardstate.h"
#include "glide/presenter.h"

namespace {

std::vector<double> Sleeps;
void recordSleep(double seconds) { Sleeps.push_back(seconds); }

// A hand-edited divisor waits no longer than the slowest rate the control
// panel offers (a sixth of the refresh rate); a negative one does not wait.
TEST(SwapWait, AnyDivisorWaitsAtMostSixRetraces) {
  boardSetPresenter(nullptr);
  boardSetPresent(true);
  boardSetRetraceSleep(recordSleep);
  const double period = 1.0 / 60;
  for (int divisor : {INT_MAX, 1000000, 7, 6, 1, 0, -5, INT_MIN}) {
    SCOPED_TRACE(divisor);
    selectDisplayMode(2, 0, divisor, 0); // 512 x 384 at 60 Hz
    ASSERT_TRUE(startDisplay(true));
    boardSetRetraceWait(true);
    Sleeps.clear();
    swapBuffers();
    boardSetRetraceWait(false);
    closeDisplay();
    if (divisor <= 0) {
      EXPECT_TRUE(Sleeps.empty());
      continue;
    }
    ASSERT_EQ(Sleeps.size(), 1u);
    const int expected = divisor < 6 ? divisor : 6;
    EXPECT_GT(Sleeps[0], (expected - 1) * period - 1e-9);
    EXPECT_LE(Sleeps[0], expected * period + 1e-9);
  }
  boardSetRetraceSleep(nullptr);
}

} // namespace
