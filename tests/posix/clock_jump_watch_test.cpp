#include "posix/clock_jump_watch.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

using std::chrono::seconds;
using Steady = ClockJumpWatch::Steady;

TEST(ClockJumpWatch, TellsAJumpOfTheWallClockFromTimePassing) {
  struct Case {
    const char* what;
    seconds wallMoved;
    std::chrono::milliseconds steadyMoved;
    bool jumped;
  };
  const Case cases[] = {
      {"both clocks moved alike", seconds{30}, seconds{30}, false},
      {"a whole-second reading lags the monotonic clock", seconds{29}, std::chrono::milliseconds{30'999}, false},
      {"the wall clock ran ahead by less than the threshold", seconds{32}, seconds{30}, false},
      {"eight hours of sleep", seconds{8 * 3600 + 5}, seconds{5}, true},
      {"the clock set forward by the threshold", seconds{3}, seconds{0}, true},
      {"the clock set back an hour", seconds{-3600 + 5}, seconds{5}, true},
      {"the clock stood still while time passed", seconds{0}, seconds{5}, true},
  };
  const DateTime start = DateTime::FromDate(std::chrono::year{2026} / 1 / 1);
  for (const Case& c : cases) {
    ClockJumpWatch watch(seconds{3});
    const Steady steady{std::chrono::hours{100}};
    EXPECT_FALSE(watch.Jumped(start, steady)) << c.what << ": the first look only sets the mark";
    const DateTime later = DateTime::FromLocal(start.Local() + c.wallMoved);
    EXPECT_EQ(watch.Jumped(later, steady + c.steadyMoved), c.jumped) << c.what;
    // The mark moves with every look: the same jump is told once.
    EXPECT_FALSE(watch.Jumped(later, steady + c.steadyMoved)) << c.what;
  }
}

}  // namespace
}  // namespace velmora
