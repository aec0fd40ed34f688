#include "engine/occurrence.h"

#include <algorithm>

#include "engine/counter.h"

namespace velmora {

namespace {

using std::chrono::days;
using std::chrono::local_days;
using std::chrono::months;
using std::chrono::year_month;
using std::chrono::year_month_day;
using std::chrono::year_month_day_last;

constexpr year_month_day kCalendarEnd{std::chrono::year{9999} / 12 / 31};

bool MovesByMonths(Repeat repeat) { return repeat == Repeat::kEveryMonth || repeat == Repeat::kEveryYear; }

// The step between occurrences, in days or in months.
std::int64_t Step(Repeat repeat) {
  switch (repeat) {
    case Repeat::kEveryDay: return 1;
    case Repeat::kEveryWeek: return 7;
    case Repeat::kEveryMonth: return 1;
    case Repeat::kEveryYear: return 12;
    case Repeat::kOnce: break;
  }
  return 0;
}

std::int64_t MonthIndex(year_month_day date) {
  return std::int64_t{static_cast<int>(date.year())} * 12 + static_cast<unsigned>(date.month()) - 1;
}

// The last k whose occurrence the calendar still holds.
std::int64_t LastOccurrence(DateTime anchor, Repeat repeat) {
  const year_month_day date = anchor.Ymd();
  if (date > kCalendarEnd) return -1;
  if (MovesByMonths(repeat)) return (MonthIndex(kCalendarEnd) - MonthIndex(date)) / Step(repeat);
  return (local_days{kCalendarEnd} - local_days{date}).count() / Step(repeat);
}

}  // namespace

std::optional<DateTime> Occurrence(DateTime anchor, Repeat repeat, std::int64_t k) {
  if (repeat == Repeat::kOnce) return k == 0 ? std::optional{anchor} : std::nullopt;
  if (k < 0 || k > LastOccurrence(anchor, repeat)) return std::nullopt;
  if (k == 0) return anchor;
  const year_month_day date = anchor.Ymd();
  year_month_day moved;
  if (MovesByMonths(repeat)) {
    const year_month month = year_month{date.year(), date.month()} + months{k * Step(repeat)};
    const year_month_day_last last{month.year(), std::chrono::month_day_last{month.month()}};
    moved = year_month_day{month.year(), month.month(), std::min(date.day(), last.day())};
  } else {
    moved = year_month_day{local_days{date} + days{k * Step(repeat)}};
  }
  return DateTime::Combine(DateTime::FromDate(moved), anchor);
}

DateTime TargetOccurrence(DateTime anchor, Repeat repeat, std::int32_t countType, DateTime now) {
  if (repeat == Repeat::kOnce || (countType != kCountUp && countType != kCountDown) || now <= anchor) {
    return anchor;
  }
  // k of the latest occurrence at or before now: a day or a week is always the same number of
  // seconds on the wall clock; a month or a year move may land after now in now's own month.
  std::int64_t k = 0;
  if (MovesByMonths(repeat)) {
    k = (MonthIndex(now.Ymd()) - MonthIndex(anchor.Ymd())) / Step(repeat);
  } else {
    k = SecondsBetween(anchor, now) / (Step(repeat) * kSecondsPerDay);
  }
  k = std::min(k, LastOccurrence(anchor, repeat));
  std::optional<DateTime> latest = Occurrence(anchor, repeat, k);
  if (latest && *latest > now) latest = Occurrence(anchor, repeat, --k);
  if (!latest) return anchor;  // an anchor beyond the calendar: nothing follows it
  if (countType == kCountUp || *latest == now) return *latest;
  return Occurrence(anchor, repeat, k + 1).value_or(*latest);
}

}  // namespace velmora
