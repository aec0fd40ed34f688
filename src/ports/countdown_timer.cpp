#include "ports/countdown_timer.h"

namespace velmora {

void CountdownTimer::SetInterval(std::int32_t milliseconds) {
  interval_ = milliseconds;
  Restart();
}

void CountdownTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  EnabledChanged(enabled);
  Restart();
}

void CountdownTimer::Restart() { StartCountdown(enabled_ && interval_ > 0 ? interval_ : 0); }

void CountdownTimer::CountdownEnded() {
  Restart();
  RunHandler();
}

void CountdownTimer::RunHandler() const {
  if (onTick_) onTick_();
}

}  // namespace velmora
