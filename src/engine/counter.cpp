#include "engine/counter.h"

namespace velmora {

std::int64_t SecondsToTarget(DateTime targetDate, DateTime targetTime, DateTime now, Repeat repeat,
                             std::int32_t countType) {
  // Both are plain wall-clock readings: no zone or daylight-saving correction.
  const DateTime anchor = DateTime::Combine(targetDate, targetTime);
  return SecondsBetween(now, TargetOccurrence(anchor, repeat, countType, now));
}

AskedUnits UnitsAskedBy(std::u16string_view workNick) {
  // The letter after a '%' names the unit; "%yy" asks for years as "%y" does.
  constexpr std::u16string_view kLetters = u"ydhms";
  constexpr AskedUnits::Unit kUnits[] = {AskedUnits::kYears, AskedUnits::kDays, AskedUnits::kHours,
                                         AskedUnits::kMinutes, AskedUnits::kSeconds};
  AskedUnits asked;
  for (std::size_t at = 0; at + 1 < workNick.size(); ++at) {
    if (workNick[at] != u'%') continue;
    const std::size_t unit = kLetters.find(workNick[at + 1]);
    if (unit != std::u16string_view::npos) asked.units |= kUnits[unit];
  }
  return asked;
}

CounterParts CountParts(std::int64_t& secondsDiff, std::int32_t countType, AskedUnits asked) {
  // Taking each unit out in turn is the same as dividing the whole difference by each unit
  // and subtracting the units the larger ones took, because every unit length divides the
  // larger ones and the remainders keep the sign of the difference (C++ division truncates
  // toward zero). The divisions then no longer wait for each other: this runs on every
  // refresh.
  const bool years = asked.Has(AskedUnits::kYears);
  const bool days = asked.Has(AskedUnits::kDays);
  const bool hours = asked.Has(AskedUnits::kHours);
  const bool minutes = asked.Has(AskedUnits::kMinutes);
  constexpr std::int64_t kDaysPerYear = kSecondsPerYear / kSecondsPerDay;
  constexpr std::int64_t kHoursPerDay = kSecondsPerDay / kSecondsPerHour;
  constexpr std::int64_t kMinutesPerHour = kSecondsPerHour / kSecondsPerMinute;
  const std::int64_t diff = secondsDiff;
  const std::int64_t allYears = diff / kSecondsPerYear;
  const std::int64_t allDays = diff / kSecondsPerDay;
  const std::int64_t allHours = diff / kSecondsPerHour;
  const std::int64_t allMinutes = diff / kSecondsPerMinute;
  // The whole units of each size that the units asked for so far took; an absent unit
  // leaves its span for the next unit asked for.
  const std::int64_t yearsTaken = years ? allYears : 0;
  const std::int64_t daysTaken = days ? allDays : yearsTaken * kDaysPerYear;
  const std::int64_t hoursTaken = hours ? allHours : daysTaken * kHoursPerDay;
  const std::int64_t minutesTaken = minutes ? allMinutes : hoursTaken * kMinutesPerHour;
  secondsDiff = diff - minutesTaken * kSecondsPerMinute;

  CounterParts parts;
  parts.nYears = yearsTaken;
  if (days) parts.nDays = allDays - yearsTaken * kDaysPerYear;
  if (hours) parts.nHours = allHours - daysTaken * kHoursPerDay;
  if (minutes) parts.nMinutes = allMinutes - hoursTaken * kMinutesPerHour;
  if (asked.Has(AskedUnits::kSeconds)) parts.nSeconds = secondsDiff;
  if (countType != kCountDown) {  // counting up: the parts count away from the target
    for (std::int64_t* part :
         {&parts.nYears, &parts.nDays, &parts.nHours, &parts.nMinutes, &parts.nSeconds}) {
      *part = -*part;
    }
  }
  return parts;
}

CounterParts CountParts(std::int64_t& secondsDiff, std::int32_t countType,
                        std::u16string_view workNick) {
  return CountParts(secondsDiff, countType, UnitsAskedBy(workNick));
}

}  // namespace velmora
