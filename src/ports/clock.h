#pragma once
#include "base/date_time.h"

namespace velmora {

// The local wall clock, to the whole second.
class Clock {
 public:
  virtual ~Clock() = default;
  [[nodiscard]] virtual DateTime Now() const = 0;
};

}  // namespace velmora
