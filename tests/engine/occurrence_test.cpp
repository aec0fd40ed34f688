#include "engine/occurrence.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/counter.h"

namespace velmora {
namespace {

using namespace std::chrono;

DateTime At(year_month_day date, int h = 0, int m = 0, int s = 0) {
  return DateTime::Combine(DateTime::FromDate(date), DateTime::FromTimeOfDay(h, m, s));
}

std::string Text(std::optional<DateTime> when) {
  if (!when) return "none";
  std::string text;
  for (char16_t c : IsoDateText(*when) + u" " + IsoTimeText(*when)) text += static_cast<char>(c);
  return text;
}

TEST(Occurrence, MonthAndYearMovesTakeTheMonthsLastDayWhereItLacksTheAnchorsDay) {
  const struct {
    DateTime anchor;
    Repeat repeat;
    std::int64_t k;
    std::optional<DateTime> expected;
  } cases[] = {
      {At(2025y / 1 / 31, 10), Repeat::kEveryMonth, 1, At(2025y / 2 / 28, 10)},
      {At(2025y / 1 / 31, 10), Repeat::kEveryMonth, 2, At(2025y / 3 / 31, 10)},  // counted from the anchor
      {At(2025y / 1 / 31, 10), Repeat::kEveryMonth, 3, At(2025y / 4 / 30, 10)},
      {At(2025y / 1 / 31, 10), Repeat::kEveryMonth, 13, At(2026y / 2 / 28, 10)},
      {At(2024y / 1 / 31, 10), Repeat::kEveryMonth, 1, At(2024y / 2 / 29, 10)},
      {At(2024y / 2 / 29, 8), Repeat::kEveryYear, 1, At(2025y / 2 / 28, 8)},
      {At(2024y / 2 / 29, 8), Repeat::kEveryYear, 4, At(2028y / 2 / 29, 8)},  // not the 28th
      {At(2026y / 1 / 1, 9), Repeat::kEveryWeek, 52, At(2026y / 12 / 31, 9)},
      {At(2028y / 1 / 1, 9), Repeat::kEveryDay, 365, At(2028y / 12 / 31, 9)},  // a leap year
      {At(2026y / 1 / 1, 9), Repeat::kOnce, 0, At(2026y / 1 / 1, 9)},
      {At(2026y / 1 / 1, 9), Repeat::kOnce, 1, std::nullopt},
      // The calendar ends on 9999-12-31.
      {At(9999y / 12 / 25, 23, 59, 59), Repeat::kEveryDay, 6, At(9999y / 12 / 31, 23, 59, 59)},
      {At(9999y / 12 / 25, 23, 59, 59), Repeat::kEveryDay, 7, std::nullopt},
      {At(9999y / 11 / 30), Repeat::kEveryMonth, 1, At(9999y / 12 / 30)},
      {At(9999y / 11 / 30), Repeat::kEveryMonth, 2, std::nullopt},
      {At(9998y / 12 / 31), Repeat::kEveryYear, 2, std::nullopt},
      {At(2026y / 1 / 1), Repeat::kEveryYear, 1'000'000'000'000, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Text(Occurrence(c.anchor, c.repeat, c.k)), Text(c.expected))
        << "anchor " << Text(c.anchor) << ", repeat " << static_cast<int>(c.repeat) << ", k " << c.k;
  }
}

TEST(TargetOccurrence, CountingDownTakesTheNextAndCountingUpTheLast) {
  const DateTime daily = At(2026y / 1 / 1, 10);
  const DateTime endOfJanuary = At(2025y / 1 / 31, 10);
  const struct {
    DateTime anchor;
    Repeat repeat;
    std::int32_t countType;
    DateTime now;
    DateTime expected;
  } cases[] = {
      {daily, Repeat::kEveryDay, kCountDown, At(2026y / 3 / 5, 9, 59, 59), At(2026y / 3 / 5, 10)},
      {daily, Repeat::kEveryDay, kCountDown, At(2026y / 3 / 5, 10), At(2026y / 3 / 5, 10)},  // zero at it
      {daily, Repeat::kEveryDay, kCountDown, At(2026y / 3 / 5, 10, 0, 1), At(2026y / 3 / 6, 10)},
      {daily, Repeat::kEveryDay, kCountUp, At(2026y / 3 / 5, 9, 59, 59), At(2026y / 3 / 4, 10)},
      {daily, Repeat::kEveryDay, kCountUp, At(2026y / 3 / 5, 10, 0, 1), At(2026y / 3 / 5, 10)},
      {daily, Repeat::kEveryWeek, kCountDown, At(2026y / 1 / 8, 10, 0, 1), At(2026y / 1 / 15, 10)},
      // The anchor in the future: it is the target either way, as without repeating.
      {daily, Repeat::kEveryDay, kCountDown, At(2025y / 12 / 1), daily},
      {daily, Repeat::kEveryYear, kCountUp, At(2025y / 12 / 1), daily},
      // Without a count type, or happening once, the anchor stays the target.
      {daily, Repeat::kEveryDay, 0, At(2026y / 3 / 5), daily},
      {daily, Repeat::kOnce, kCountDown, At(2026y / 3 / 5), daily},
      {endOfJanuary, Repeat::kEveryMonth, kCountDown, At(2025y / 2 / 15), At(2025y / 2 / 28, 10)},
      {endOfJanuary, Repeat::kEveryMonth, kCountDown, At(2025y / 2 / 28, 10, 0, 1), At(2025y / 3 / 31, 10)},
      // In its own month the occurrence is still ahead: the one before it is the last.
      {endOfJanuary, Repeat::kEveryMonth, kCountUp, At(2025y / 3 / 30), At(2025y / 2 / 28, 10)},
      {At(2024y / 2 / 29), Repeat::kEveryYear, kCountDown, At(2025y / 3 / 1), At(2026y / 2 / 28)},
      {At(2024y / 2 / 29), Repeat::kEveryYear, kCountDown, At(2027y / 6 / 1), At(2028y / 2 / 29)},
      {At(2024y / 2 / 29), Repeat::kEveryYear, kCountUp, At(2028y / 2 / 28, 23), At(2027y / 2 / 28)},
      // Past the calendar's end the last occurrence it holds stays the target.
      {At(9999y / 12 / 30, 12), Repeat::kEveryDay, kCountDown, At(9999y / 12 / 31, 13), At(9999y / 12 / 31, 12)},
      {At(9999y / 1 / 31), Repeat::kEveryYear, kCountDown, At(9999y / 2 / 1), At(9999y / 1 / 31)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Text(TargetOccurrence(c.anchor, c.repeat, c.countType, c.now)), Text(c.expected))
        << "anchor " << Text(c.anchor) << ", repeat " << static_cast<int>(c.repeat) << ", type " << c.countType
        << ", now " << Text(c.now);
  }
}

TEST(TargetOccurrence, ADailyCountDownRollsOverAtEveryOccurrenceOfALeapYear) {
  const DateTime anchor = At(2027y / 12 / 31, 18, 30);
  const DateTime date = anchor.DatePart();
  const DateTime time = anchor.TimePart();
  for (std::int64_t day = 1; day <= 366; ++day) {
    const DateTime occurrence = anchor.PlusSeconds(day * kSecondsPerDay);
    const auto secondsTo = [&](std::int64_t offset) {
      return SecondsToTarget(date, time, occurrence.PlusSeconds(offset), Repeat::kEveryDay, kCountDown);
    };
    EXPECT_EQ(secondsTo(-1), 1) << Text(occurrence);
    EXPECT_EQ(secondsTo(0), 0) << Text(occurrence);
    EXPECT_EQ(secondsTo(1), kSecondsPerDay - 1) << Text(occurrence);
    EXPECT_EQ(SecondsToTarget(date, time, occurrence.PlusSeconds(1), Repeat::kEveryDay, kCountUp), -1)
        << Text(occurrence);
  }
}

}  // namespace
}  // namespace velmora
