#include "engine/counter.h"

#include <algorithm>
#include <chrono>

namespace velmora {

std::int64_t SecondsToTarget(DateTime targetDate, DateTime targetTime, DateTime now, Repeat repeat,
                             std::int32_t countType) {
  // Both are plain wall-clock readings: no zone or daylight-saving correction.
  const DateTime anchor = DateTime::Combine(targetDate, targetTime);
  return SecondsBetween(now, TargetOccurrence(anchor, repeat, countType, now));
}

AskedUnits UnitsAskedBy(std::u16string_view workNick) {
  // The letter after a '%' names the unit; "%yy" asks for years as "%y" does.
  constexpr std::u16string_view kLetters = u"ydhmswb";
  constexpr AskedUnits::Unit kUnits[] = {AskedUnits::kYears,   AskedUnits::kDays,
                                         AskedUnits::kHours,   AskedUnits::kMinutes,
                                         AskedUnits::kSeconds, AskedUnits::kWeeks,
                                         AskedUnits::kWorkDays};
  AskedUnits asked;
  for (std::size_t at = 0; at + 1 < workNick.size(); ++at) {
    if (workNick[at] != u'%') continue;
    const std::size_t unit = kLetters.find(workNick[at + 1]);
    if (unit != std::u16string_view::npos) asked.units |= kUnits[unit];
  }
  return asked;
}

CounterParts CountParts(std::int64_t& secondsDiff, std::int32_t countType, AskedUnits asked) {
  // Years and weeks come out one after the other, as a week does not divide a year. Below
  // them, taking each unit out in turn is the same as dividing the rest by each unit and
  // subtracting the units the larger ones took, because every smaller unit divides the larger
  // ones and the remainders keep the sign of the difference (C++ division truncates toward
  // zero). Those divisions then no longer wait for each other: this runs on every refresh.
  const bool days = asked.Has(AskedUnits::kDays);
  const bool hours = asked.Has(AskedUnits::kHours);
  const bool minutes = asked.Has(AskedUnits::kMinutes);
  constexpr std::int64_t kHoursPerDay = kSecondsPerDay / kSecondsPerHour;
  constexpr std::int64_t kMinutesPerHour = kSecondsPerHour / kSecondsPerMinute;
  CounterParts parts;
  std::int64_t rest = secondsDiff;
  if (asked.Has(AskedUnits::kYears)) {
    parts.nYears = rest / kSecondsPerYear;
    rest -= parts.nYears * kSecondsPerYear;
  }
  if (asked.Has(AskedUnits::kWeeks)) {
    parts.nWeeks = rest / kSecondsPerWeek;
    rest -= parts.nWeeks * kSecondsPerWeek;
  }
  const std::int64_t allDays = rest / kSecondsPerDay;
  const std::int64_t allHours = rest / kSecondsPerHour;
  const std::int64_t allMinutes = rest / kSecondsPerMinute;
  // The whole units of each size that the units asked for so far took; an absent unit
  // leaves its span for the next unit asked for.
  const std::int64_t daysTaken = days ? allDays : 0;
  const std::int64_t hoursTaken = hours ? allHours : daysTaken * kHoursPerDay;
  const std::int64_t minutesTaken = minutes ? allMinutes : hoursTaken * kMinutesPerHour;
  secondsDiff = rest - minutesTaken * kSecondsPerMinute;

  parts.nDays = daysTaken;
  if (hours) parts.nHours = allHours - daysTaken * kHoursPerDay;
  if (minutes) parts.nMinutes = allMinutes - hoursTaken * kMinutesPerHour;
  if (asked.Has(AskedUnits::kSeconds)) parts.nSeconds = secondsDiff;
  if (countType != kCountDown) {  // counting up: the parts count away from the target
    for (std::int64_t* part : {&parts.nYears, &parts.nWeeks, &parts.nDays, &parts.nHours,
                               &parts.nMinutes, &parts.nSeconds}) {
      *part = -*part;
    }
  }
  return parts;
}

CounterParts CountParts(std::int64_t& secondsDiff, std::int32_t countType,
                        std::u16string_view workNick) {
  return CountParts(secondsDiff, countType, UnitsAskedBy(workNick));
}

std::int64_t WorkingDays(DateTime now, DateTime target, std::int32_t countType) {
  // The weekdays before a date, counted from a Monday: five in each whole week, then at most
  // five of the days after the last whole week. Floor division keeps earlier dates right.
  constexpr std::chrono::local_days kMonday{std::chrono::year{1970} / std::chrono::January /
                                            std::chrono::Monday[1]};
  const auto weekdaysBefore = [&](DateTime date) {
    const std::int64_t day = (std::chrono::floor<std::chrono::days>(date.Local()) - kMonday).count();
    const std::int64_t weeks = (day >= 0 ? day : day - 6) / 7;
    return weeks * 5 + std::min<std::int64_t>(day - weeks * 7, 5);
  };
  const std::int64_t count = weekdaysBefore(target) - weekdaysBefore(now);
  return countType == kCountDown ? count : -count;
}

}  // namespace velmora
