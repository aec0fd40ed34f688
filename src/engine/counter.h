#pragma once
// How far the target is, split into the units a nickname template asks for.
#include <cstdint>
#include <string_view>

#include "base/date_time.h"
#include "engine/occurrence.h"

namespace velmora {

inline constexpr std::int16_t kCountUp = 1;
inline constexpr std::int16_t kCountDown = 2;

inline constexpr std::int64_t kSecondsPerYear = 31'536'000;  // always 365 days
inline constexpr std::int64_t kSecondsPerWeek = 604'800;
inline constexpr std::int64_t kSecondsPerDay = 86'400;
inline constexpr std::int64_t kSecondsPerHour = 3'600;
inline constexpr std::int64_t kSecondsPerMinute = 60;

struct CounterParts {
  std::int64_t nYears = 0;
  std::int64_t nDays = 0;
  std::int64_t nHours = 0;
  std::int64_t nMinutes = 0;
  std::int64_t nSeconds = 0;
  std::int64_t nWeeks = 0;
  std::int64_t nWorkDays = 0;  // Monday-to-Friday dates, outside the fold
  friend bool operator==(const CounterParts&, const CounterParts&) = default;
};

// The target (calendar date of `targetDate` at the time of day of `targetTime`, or the
// occurrence of it that a repeating count measures against) minus `now`, in whole seconds.
std::int64_t SecondsToTarget(DateTime targetDate, DateTime targetTime, DateTime now,
                             Repeat repeat = Repeat::kOnce, std::int32_t countType = 0);

// Which of "%y" "%w" "%d" "%h" "%m" "%s" "%b" a template holds ("%yy" holds "%y" too), a bit
// each.
struct AskedUnits {
  enum Unit : unsigned {
    kYears = 1,
    kDays = 2,
    kHours = 4,
    kMinutes = 8,
    kSeconds = 16,
    kWeeks = 32,
    kWorkDays = 64
  };
  unsigned units = 0;
  [[nodiscard]] constexpr bool Has(Unit unit) const { return (units & unit) != 0; }
};
AskedUnits UnitsAskedBy(std::u16string_view workNick);

// Takes whole years, weeks, days, hours and minutes out of `secondsDiff` for each unit asked
// for, largest first; an absent unit folds into the next one asked for (working days take no
// part: see WorkingDays). Parts count towards the target when counting down (2) and away from
// it otherwise. Consumes `secondsDiff`, leaving the seconds remainder.
CounterParts CountParts(std::int64_t& secondsDiff, std::int32_t countType, AskedUnits asked);
// The same for the units whose tags occur in `workNick`.
CounterParts CountParts(std::int64_t& secondsDiff, std::int32_t countType,
                        std::u16string_view workNick);

// The Monday-to-Friday dates from the earlier of `now`'s date and `target`'s date (that one
// counted) up to the later one (not counted), in constant time: positive counting down (2)
// while the target's date is after now's, the other sign otherwise, as the other parts.
std::int64_t WorkingDays(DateTime now, DateTime target, std::int32_t countType);

}  // namespace velmora
