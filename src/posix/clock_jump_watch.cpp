#include "posix/clock_jump_watch.h"

namespace velmora {

bool ClockJumpWatch::Jumped(DateTime wall, Steady steady) {
  const std::optional<DateTime> lastWall = lastWall_;
  const Steady lastSteady = lastSteady_;
  lastWall_ = wall;
  lastSteady_ = steady;
  if (!lastWall) return false;
  using namespace std::chrono;
  const auto wallMoved = duration_cast<milliseconds>(wall.Local() - lastWall->Local());
  const auto steadyMoved = duration_cast<milliseconds>(steady - lastSteady);
  const auto apart = wallMoved - steadyMoved;
  return apart >= threshold_ || apart <= -threshold_;
}

}  // namespace velmora
