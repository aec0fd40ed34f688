#pragma once
// Notices that the wall clock jumped: the machine slept (the monotonic clock stands still
// while it sleeps, the wall clock does not) or someone set the clock or the time zone.
// Between two looks both clocks should move alike; when they part by more than the
// threshold, the wall clock jumped.
#include <chrono>
#include <optional>

#include "base/date_time.h"

namespace velmora {

class ClockJumpWatch {
 public:
  using Steady = std::chrono::steady_clock::time_point;

  explicit ClockJumpWatch(std::chrono::seconds threshold) : threshold_(threshold) {}

  // One look at both clocks; true when the wall clock jumped since the last look. The first
  // look only sets the mark.
  bool Jumped(DateTime wall, Steady steady);

 private:
  std::chrono::seconds threshold_;
  std::optional<DateTime> lastWall_;
  Steady lastSteady_{};
};

}  // namespace velmora
