#pragma once
#include <cstdint>
#include <functional>

namespace velmora {

// A periodic timer on the plug-in's thread. Setting the interval, also from inside the
// tick handler, restarts the countdown; an interval of 0 never fires; enabling a stopped
// timer starts a fresh countdown.
class Timer {
 public:
  virtual ~Timer() = default;
  virtual void SetHandler(std::function<void()> onTick) = 0;
  virtual void SetInterval(std::int32_t milliseconds) = 0;
  [[nodiscard]] virtual std::int32_t Interval() const = 0;
  virtual void SetEnabled(bool enabled) = 0;
  [[nodiscard]] virtual bool Enabled() const = 0;
};

}  // namespace velmora
