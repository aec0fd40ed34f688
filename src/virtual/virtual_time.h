#pragma once
// A clock and timers that move only when told to: the tests' and the script driver's time.
// Timers count elapsed time, not wall-clock time, so setting the clock fires nothing and
// moves no deadline; Advance moves both and fires every due tick at its own instant.
#include <cstdint>
#include <memory>
#include <vector>

#include "ports/clock.h"
#include "ports/countdown_timer.h"

namespace velmora {

class VirtualTimer;

class VirtualTime : public Clock {
 public:
  explicit VirtualTime(DateTime start);
  ~VirtualTime() override;
  VirtualTime(const VirtualTime&) = delete;
  VirtualTime& operator=(const VirtualTime&) = delete;

  [[nodiscard]] DateTime Now() const override;
  void SetClock(DateTime now);
  // Moves time forward, firing each due tick in order at its own instant.
  void Advance(std::int64_t milliseconds);
  // Moves the clock forward as a machine's sleep does: the timers' countdowns stand still,
  // so nothing fires.
  void Sleep(std::int64_t milliseconds);
  [[nodiscard]] std::unique_ptr<Timer> MakeTimer();

  [[nodiscard]] std::int64_t ElapsedMilliseconds() const { return elapsed_; }

 private:
  friend class VirtualTimer;
  std::int64_t elapsed_ = 0;
  std::int64_t wallAtZeroElapsed_ = 0;  // milliseconds since the DateTime epoch
  std::vector<VirtualTimer*> timers_;
};

// A timer may outlive its VirtualTime: it then never fires again and touches nothing.
class VirtualTimer : public CountdownTimer {
 public:
  explicit VirtualTimer(VirtualTime& time);
  ~VirtualTimer() override;

  [[nodiscard]] std::int64_t TickCount() const { return ticks_; }

 private:
  friend class VirtualTime;
  void StartCountdown(std::int32_t milliseconds) override;
  void Fire();

  VirtualTime* time_;  // null once the time is gone
  std::int64_t due_ = -1;
  std::int64_t ticks_ = 0;
};

}  // namespace velmora
