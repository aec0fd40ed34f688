#include "base/date_time.h"

#include <gtest/gtest.h>

#include "base/text.h"

namespace velmora {
namespace {

using std::chrono::year;

DateTime At(int y, unsigned m, unsigned d, int hh = 0, int mm = 0, int ss = 0) {
  return DateTime::Combine(DateTime::FromDate(year{y} / m / d), DateTime::FromTimeOfDay(hh, mm, ss));
}

std::string Text(DateTime value) { return ToUtf8(IsoDateText(value) + u" " + IsoTimeText(value)); }

TEST(DateTime, SplitsIntoDateAndTimeOnEitherSideOfTheZeroDate) {
  const struct {
    DateTime value;
    std::string text;
    bool hasDate, hasTime;
  } cases[] = {
      {DateTime{}, "1899-12-30 00:00:00", false, false},
      {At(1899, 12, 30, 6, 0, 0), "1899-12-30 06:00:00", false, true},   // a bare time of day
      {At(1899, 12, 29, 23, 59, 59), "1899-12-29 23:59:59", true, true},  // one second before zero
      {At(1850, 6, 15, 12, 30, 45), "1850-06-15 12:30:45", true, true},
      {At(1752, 9, 14), "1752-09-14 00:00:00", true, false},
      {At(100, 1, 1), "0100-01-01 00:00:00", true, false},               // the first automation date
      {At(9999, 12, 31, 23, 59, 59), "9999-12-31 23:59:59", true, true},  // the last one
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Text(c.value), c.text);
    EXPECT_EQ(c.value.HasDate(), c.hasDate) << c.text;
    EXPECT_EQ(c.value.HasTime(), c.hasTime) << c.text;
    EXPECT_EQ(DateTime::Combine(c.value.DatePart(), c.value.TimePart()), c.value) << c.text;
    EXPECT_EQ(Text(c.value.TimePart()).substr(11), c.text.substr(11)) << c.text;
    EXPECT_FALSE(c.value.TimePart().HasDate()) << c.text;
  }
}

TEST(DateTime, CountsSecondsAcrossTheZeroDateAndTheCenturies) {
  EXPECT_EQ(SecondsBetween(At(1899, 12, 29, 23, 59, 59), DateTime{}), 1);
  EXPECT_EQ(SecondsBetween(DateTime{}, At(1850, 1, 1)), -18'260LL * 86'400);
  // 1900 is no leap year, 2000 is.
  EXPECT_EQ(SecondsBetween(At(1900, 2, 28), At(1900, 3, 1)), 86'400);
  EXPECT_EQ(SecondsBetween(At(2000, 2, 28), At(2000, 3, 1)), 2 * 86'400);
  EXPECT_EQ(SecondsBetween(At(100, 1, 1), At(9999, 12, 31, 23, 59, 59)), 3'615'899LL * 86'400 + 86'399);
  EXPECT_EQ(Text(At(9999, 12, 31, 23, 59, 59).PlusSeconds(1)), "10000-01-01 00:00:00");
  EXPECT_EQ(Text(At(1900, 1, 1).PlusSeconds(-1)), "1899-12-31 23:59:59");
}

TEST(IsoText, ReadsOnlyTheFixedFormsOfRealDatesAndTimes) {
  EXPECT_EQ(ParseIsoDate(u"2024-02-29"), At(2024, 2, 29));
  EXPECT_EQ(ParseIsoDate(u"1850-06-15"), At(1850, 6, 15));
  EXPECT_EQ(ParseIsoTime(u"23:59:59"), DateTime::FromTimeOfDay(23, 59, 59));
  EXPECT_EQ(ParseIsoTime(u"00:00:00"), DateTime{});
  for (const std::u16string_view date : {u"2026-02-29", u"2026-13-01", u"2026-00-10", u"2026-1-01", u"2026/01/01",
                                         u" 2026-01-01", u"2026-01-01 ", u"", u"20260-1-01"}) {
    EXPECT_EQ(ParseIsoDate(date), std::nullopt) << ToUtf8(date);
  }
  for (const std::u16string_view time : {u"24:00:00", u"23:60:00", u"23:59:60", u"1:00:00", u"01-00-00",
                                         u"01:00:00 ", u"0x:00:00", u""}) {
    EXPECT_EQ(ParseIsoTime(time), std::nullopt) << ToUtf8(time);
  }
}

}  // namespace
}  // namespace velmora
