#pragma once
// The timer contract kept once for every port: setting the interval, also from inside the
// tick handler, restarts the countdown; an interval of 0 never fires; enabling a stopped
// timer starts a fresh countdown, enabling a running one changes nothing. A port only
// delivers time: it runs the countdowns it is asked for and reports each one that ends.
#include <cstdint>
#include <functional>

#include "ports/timer.h"

namespace velmora {

class CountdownTimer : public Timer {
 public:
  CountdownTimer() = default;
  // A port knows its timers by address.
  CountdownTimer(const CountdownTimer&) = delete;
  CountdownTimer& operator=(const CountdownTimer&) = delete;

  void SetHandler(std::function<void()> onTick) final { onTick_ = std::move(onTick); }
  void SetInterval(std::int32_t milliseconds) final;
  [[nodiscard]] std::int32_t Interval() const final { return interval_; }
  void SetEnabled(bool enabled) final;
  [[nodiscard]] bool Enabled() const final { return enabled_; }

 protected:
  // Starts a countdown of `milliseconds` from now in place of any running one; 0 stops it.
  virtual void StartCountdown(std::int32_t milliseconds) = 0;
  // The timer was switched on or off, just before its countdown starts or stops.
  virtual void EnabledChanged(bool) {}
  // A one-shot countdown ended: the next one starts, then the handler runs, so a handler
  // that sets a new interval has the last word.
  void CountdownEnded();
  // A periodic countdown ended and the platform already runs the next one.
  void RunHandler() const;

 private:
  void Restart();

  std::function<void()> onTick_;
  std::int32_t interval_ = 0;
  bool enabled_ = false;
};

}  // namespace velmora
