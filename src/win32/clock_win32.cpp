#include "clock_win32.h"

#include <windows.h>

#include "automation_date.h"

namespace velmora::win32 {

DateTime LocalClock::Now() const {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  return FromSystemTime(now);
}

}  // namespace velmora::win32
