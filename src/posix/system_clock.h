#pragma once
#include "ports/clock.h"

namespace velmora {

// The machine's local wall clock, as the user's time zone shows it.
class SystemClock : public Clock {
 public:
  [[nodiscard]] DateTime Now() const override;
};

}  // namespace velmora
