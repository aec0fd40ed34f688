#pragma once
// A clock and timers that move only when told to: the tests' and the script driver's time.
// Timers count elapsed time, not wall-clock time, so setting the clock fires nothing and
// moves no deadline; Advance moves both and fires every due tick at its own instant.
#include <cstdint>
#include <memory>
#include <vector>

#include "ports/clock.h"
#include "ports/timer.h"

namespace velmora {

class VirtualTimer;

class VirtualTime : public Clock {
 public:
  explicit VirtualTime(DateTime start);
  ~VirtualTime() override;

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

class VirtualTimer : public Timer {
 public:
  explicit VirtualTimer(VirtualTime& time);
  ~VirtualTimer() override;

  void SetHandler(std::function<void()> onTick) override { onTick_ = std::move(onTick); }
  void SetInterval(std::int32_t milliseconds) override;
  [[nodiscard]] std::int32_t Interval() const override { return interval_; }
  void SetEnabled(bool enabled) override;
  [[nodiscard]] bool Enabled() const override { return enabled_; }

  // The elapsed time at which the next tick is due; negative when none is.
  [[nodiscard]] std::int64_t DueAt() const { return due_; }
  [[nodiscard]] std::int64_t TickCount() const { return ticks_; }

 private:
  friend class VirtualTime;
  void Restart();
  void Fire();

  VirtualTime& time_;
  std::function<void()> onTick_;
  std::int32_t interval_ = 0;
  bool enabled_ = false;
  std::int64_t due_ = -1;
  std::int64_t ticks_ = 0;
};

}  // namespace velmora
