#pragma once
#include "ports/clock.h"

namespace velmora::win32 {

// The system's local wall clock.
class LocalClock : public Clock {
 public:
  [[nodiscard]] DateTime Now() const override;
};

}  // namespace velmora::win32
