#include "engine/counter.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "base/text.h"

namespace velmora {

void PrintTo(const CounterParts& parts, std::ostream* out) {
  *out << parts.nYears << "y " << parts.nWeeks << "w " << parts.nDays << "d " << parts.nHours
       << "h " << parts.nMinutes << "m " << parts.nSeconds << "s " << parts.nWorkDays << "b";
}

namespace {

struct PartsCase {
  std::int32_t countType;
  std::int64_t secondsDiff;
  std::u16string workNick;
  CounterParts expected;  // years, days, hours, minutes, seconds, weeks
};

TEST(CountParts, TakesOnlyTheUnitsTheTemplateAsksForWithOneSign) {
  const PartsCase cases[] = {
      {2, 31'719'845, u"%y %d %h %m %s", {1, 2, 3, 4, 5}},
      {2, 31'719'845, u"%d %h", {0, 367, 3, 0, 0}},  // years fold into days
      {1, -90'061, u"%d %h %m %s", {0, 1, 1, 1, 1}},
      {1, 90'061, u"%d %h %m %s", {0, -1, -1, -1, -1}},
      {1, -34'578'000, u"%y %d", {1, 35, 0, 0, 0}},
      {2, 150, u"%m", {0, 0, 0, 2, 0}},
      {2, 0, u"%y %d %h %m %s", {}},
      {1, 0, u"%y %d %h %m %s", {}},
      {2, 59, u"%m:%ss", {0, 0, 0, 0, 59}},
      {2, 40'000'000, u"%yy", {1, 0, 0, 0, 0}},       // below a whole year is dropped
      {2, 31'719'845, u"%D %H %M %S %Y", {}},         // upper case is no tag
      {0, -90'061, u"%d %h %m %s", {0, 1, 1, 1, 1}},  // no type chosen counts up
      {2, -172'800, u"%d", {0, -2, 0, 0, 0}},
      {2, 172'799, u"%d %s", {0, 1, 0, 0, 86'399}},
      {2, 32'929'445, u"%y %h", {1, 0, 387, 0, 0}},  // years out first, then all hours
      // Weeks stand between years and days; 1 year 16 days 3:04:05.
      {2, 32'929'445, u"%y %w %d %h %m %s", {1, 2, 3, 4, 5, 2}},
      {2, 32'929'445, u"%ww %h", {0, 0, 75, 0, 0, 54}},  // years fold into weeks, days into hours
      {1, 32'929'445, u"%w %dd", {0, -3, 0, 0, 0, -54}},
      {2, 32'929'445, u"%W %B %b", {}},  // working days are no part of the fold
  };
  for (const PartsCase& c : cases) {
    std::int64_t diff = c.secondsDiff;
    EXPECT_EQ(CountParts(diff, c.countType, c.workNick), c.expected)
        << "type " << c.countType << ", diff " << c.secondsDiff;
  }
}

TEST(WorkingDays, CountsMondayToFridayDatesFromTheEarlierDateCounted) {
  using namespace std::chrono;
  struct WorkingDaysCase {
    year_month_day now;
    int nowHour;
    year_month_day target;
    int targetHour;
    std::int64_t countingDown;
  };
  const WorkingDaysCase cases[] = {
      {2026y / 12 / 4, 10, 2026y / 12 / 7, 9, 1},    // Friday to Monday
      {2026y / 12 / 5, 23, 2026y / 12 / 7, 9, 0},    // Saturday
      {2026y / 12 / 6, 0, 2026y / 12 / 7, 9, 0},     // Sunday
      {2026y / 12 / 7, 23, 2026y / 12 / 7, 9, 0},    // the target's date, after its time
      {2026y / 11 / 23, 9, 2026y / 12 / 7, 9, 10},   // two weeks
      {2026y / 12 / 9, 12, 2026y / 12 / 7, 9, -2},   // the Wednesday after
      {1969y / 12 / 31, 0, 1970y / 1 / 5, 0, 3},     // over a year's end
      {2028y / 2 / 28, 0, 2028y / 3 / 1, 0, 2},      // over 29 February
      {1900y / 1 / 1, 0, 9999y / 12 / 31, 23, 2'113'189},  // the calendar's ends
  };
  for (const WorkingDaysCase& c : cases) {
    const DateTime now = DateTime::FromDate(c.now).PlusSeconds(c.nowHour * 3600);
    const DateTime target = DateTime::FromDate(c.target).PlusSeconds(c.targetHour * 3600);
    const std::string dates = ToUtf8(IsoDateText(now) + u" to " + IsoDateText(target));
    EXPECT_EQ(WorkingDays(now, target, kCountDown), c.countingDown) << dates;
    EXPECT_EQ(WorkingDays(now, target, kCountUp), -c.countingDown) << dates;
  }
}

TEST(SecondsToTarget, JoinsTheDateOfOneValueWithTheTimeOfTheOtherIn64Bits) {
  using namespace std::chrono;
  const DateTime date = DateTime::FromDate(2024y / 3 / 1).PlusSeconds(15 * 3600);  // time ignored
  const DateTime time = DateTime::FromDate(2001y / 1 / 1).PlusSeconds(37'230);     // date ignored
  const DateTime now = DateTime::FromDate(2024y / 2 / 28);
  EXPECT_EQ(SecondsToTarget(date, time, now), 2 * 86'400 + 37'230);  // 2024 is a leap year
  EXPECT_EQ(SecondsToTarget(date, time, now.PlusSeconds(3 * 86'400)), -86'400 + 37'230);

  // A century away, far beyond 32-bit seconds; the leap days stay as days of 365-day years.
  std::int64_t diff = SecondsToTarget(DateTime::FromDate(2100y / 1 / 1), DateTime{},
                                      DateTime::FromDate(2000y / 1 / 1));
  EXPECT_EQ(diff, 36'525LL * 86'400);
  EXPECT_EQ(CountParts(diff, kCountDown, u"%y %d"), (CounterParts{100, 25, 0, 0, 0}));
}

}  // namespace
}  // namespace velmora
