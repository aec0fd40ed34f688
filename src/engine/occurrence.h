#pragma once
// Repeating targets: which occurrence of a target that comes back every day, week, month or
// year the counter measures against.
#include <cstdint>
#include <optional>

#include "base/date_time.h"

namespace velmora {

// How often the target comes back; stored as its digits, "0" to "4".
enum class Repeat : std::int16_t { kOnce = 0, kEveryDay = 1, kEveryWeek = 2, kEveryMonth = 3, kEveryYear = 4 };

// Occurrence k (k >= 0) of a target first due at `anchor`: moved k days, k weeks, k months or
// k years. A month or year move keeps the anchor's day where the month has it and takes the
// month's last day where it has not, always counted from the anchor so the day never drifts.
// None after 9999-12-31, the calendar's end; a target that happens once has only occurrence 0.
std::optional<DateTime> Occurrence(DateTime anchor, Repeat repeat, std::int64_t k);

// The occurrence the counter measures against at `now`: counting down (2) the earliest at or
// after now, counting up (1) the latest at or before now, the anchor before the first.
// Without a count type (0) the anchor. Past the calendar's end, the last occurrence it holds.
DateTime TargetOccurrence(DateTime anchor, Repeat repeat, std::int32_t countType, DateTime now);

}  // namespace velmora
