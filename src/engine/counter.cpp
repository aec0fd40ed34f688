#include "engine/counter.h"

namespace velmora {

std::int64_t SecondsToTarget(DateTime targetDate, DateTime targetTime, DateTime now) {
  // Both are plain wall-clock readings: no zone or daylight-saving correction.
  return SecondsBetween(now, DateTime::Combine(targetDate, targetTime));
}

CounterParts CountParts(std::int64_t& secondsDiff, std::int32_t countType,
                        std::u16string_view workNick) {
  CounterParts parts;
  const auto signFor = [countType](std::int64_t value) {
    return countType == kCountDown ? value : -value;
  };
  // Which of "%y" "%d" "%h" "%m" "%s" occur ("%yy" holds "%y" too), found in one pass.
  bool year = false, day = false, hour = false, minute = false, second = false;
  for (std::size_t at = 0; at + 1 < workNick.size(); ++at) {
    if (workNick[at] != u'%') continue;
    switch (workNick[at + 1]) {
      case u'y':
        year = true;
        break;
      case u'd':
        day = true;
        break;
      case u'h':
        hour = true;
        break;
      case u'm':
        minute = true;
        break;
      case u's':
        second = true;
        break;
      default:
        break;
    }
  }
  // C++ division truncates toward zero, so the remainder keeps the sign of the difference.
  // An absent unit leaves its span for the next unit asked for.
  const auto take = [&](bool isAsked, std::int64_t length, std::int64_t& part) {
    if (!isAsked) return;
    part = signFor(secondsDiff / length);
    secondsDiff %= length;
  };
  take(year, kSecondsPerYear, parts.nYears);
  take(day, kSecondsPerDay, parts.nDays);
  take(hour, kSecondsPerHour, parts.nHours);
  take(minute, kSecondsPerMinute, parts.nMinutes);
  if (second) parts.nSeconds = signFor(secondsDiff);
  return parts;
}

}  // namespace velmora
