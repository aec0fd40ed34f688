#include "engine/counter.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

struct PartsCase {
  std::int32_t countType;
  std::int64_t secondsDiff;
  std::u16string workNick;
  CounterParts expected;
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
  };
  for (const PartsCase& c : cases) {
    std::int64_t diff = c.secondsDiff;
    const CounterParts parts = CountParts(diff, c.countType, c.workNick);
    EXPECT_EQ(parts, c.expected) << "type " << c.countType << ", diff " << c.secondsDiff << ": got "
                                 << parts.nYears << "y " << parts.nDays << "d " << parts.nHours
                                 << "h " << parts.nMinutes << "m " << parts.nSeconds << "s";
  }
}

TEST(CountParts, LeavesTheSecondsRemainderInTheDifference) {
  std::int64_t diff = -90'061;
  CountParts(diff, 1, u"%d %h");
  EXPECT_EQ(diff, -61);
}

TEST(SecondsToTarget, JoinsTheDateOfOneValueWithTheTimeOfTheOther) {
  using namespace std::chrono;
  const DateTime date =
      DateTime::FromDate(2024y / 3 / 1).PlusSeconds(15 * 3600);  // its time is ignored
  const DateTime time =
      DateTime::FromDate(2001y / 1 / 1).PlusSeconds(36'000 + 1'230);  // its date too
  const DateTime now = DateTime::FromDate(2024y / 2 / 28);
  EXPECT_EQ(SecondsToTarget(date, time, now), 2 * 86'400 + 36'000 + 1'230);  // 2024 is a leap year
  EXPECT_EQ(SecondsToTarget(date, time, now.PlusSeconds(3 * 86'400)), -86'400 + 36'000 + 1'230);
}

TEST(SecondsToTarget, CountsTargetsBeyondSixtyEightYears) {
  using namespace std::chrono;
  const DateTime now = DateTime::FromDate(2000y / 1 / 1);
  std::int64_t diff = SecondsToTarget(DateTime::FromDate(2100y / 1 / 1), DateTime{}, now);
  EXPECT_EQ(diff, 36'525LL * 86'400);
  const CounterParts parts = CountParts(diff, kCountDown, u"%y %d");
  EXPECT_EQ(parts.nYears, 100);
  EXPECT_EQ(parts.nDays, 25);  // the leap days of a century of 365-day years
}

}  // namespace
}  // namespace velmora
