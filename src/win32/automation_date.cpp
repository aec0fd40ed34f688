#include "automation_date.h"

#include <chrono>
#include <cmath>
#include <cstdint>

namespace velmora::win32 {

namespace {
constexpr std::int64_t kSecondsPerDay = 86400;
// 0100-01-01 and 9999-12-31 23:59:59, the ends of the automation date.
constexpr DATE kFirstDate = -657434.0;
constexpr DATE kLastDate = 2958465.999988426;
}  // namespace

DATE ToAutomationDate(DateTime value) {
  const std::int64_t seconds = SecondsBetween(DateTime{}, value);
  std::int64_t days = seconds / kSecondsPerDay;
  std::int64_t rest = seconds % kSecondsPerDay;
  if (rest < 0) {
    --days;
    rest += kSecondsPerDay;
  }
  const double fraction = static_cast<double>(rest) / kSecondsPerDay;
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

std::optional<DateTime> FromAutomationDate(DATE date) {
  if (!(date >= kFirstDate - 0.5 / kSecondsPerDay && date <= kLastDate + 0.5 / kSecondsPerDay)) return std::nullopt;
  const double days = std::trunc(date);
  const auto seconds = static_cast<std::int64_t>(std::llround(std::fabs(date - days) * kSecondsPerDay));
  return DateTime{}.PlusSeconds(static_cast<std::int64_t>(days) * kSecondsPerDay + seconds);
}

DateTime FromSystemTime(const SYSTEMTIME& time) {
  const std::chrono::year_month_day day{std::chrono::year{time.wYear}, std::chrono::month{time.wMonth},
                                        std::chrono::day{time.wDay}};
  return DateTime::Combine(DateTime::FromDate(day),
                           DateTime::FromTimeOfDay(time.wHour, time.wMinute, time.wSecond));
}

SYSTEMTIME ToSystemTime(DateTime value) {
  const std::chrono::year_month_day day = value.Ymd();
  SYSTEMTIME time{};
  time.wYear = static_cast<WORD>(static_cast<int>(day.year()));
  time.wMonth = static_cast<WORD>(static_cast<unsigned>(day.month()));
  time.wDay = static_cast<WORD>(static_cast<unsigned>(day.day()));
  time.wHour = static_cast<WORD>(value.Hour());
  time.wMinute = static_cast<WORD>(value.Minute());
  time.wSecond = static_cast<WORD>(value.Second());
  return time;
}

}  // namespace velmora::win32
