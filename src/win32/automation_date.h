#pragma once
// DateTime <-> the automation DATE: days since 1899-12-30 as a double, the fraction the
// time of day. Before that day the whole part counts back while the fraction still counts
// forward (-1.25 is 1899-12-29 06:00), as every automation client reads it.
#include <windows.h>
#include <oleauto.h>

#include <optional>

#include "base/date_time.h"

namespace velmora::win32 {

DATE ToAutomationDate(DateTime value);
// To the nearest whole second; nullopt outside the automation date's years 100 to 9999.
std::optional<DateTime> FromAutomationDate(DATE date);
DateTime FromSystemTime(const SYSTEMTIME& time);
SYSTEMTIME ToSystemTime(DateTime value);

}  // namespace velmora::win32
