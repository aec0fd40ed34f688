// The Windows ports on their own: automation dates, regional texts and the window timer.
#include <gtest/gtest.h>

#include <cmath>

#include "automation_date.h"
#include "base/text.h"
#include "regional_win32.h"
#include "script/format.h"
#include "support.h"
#include "timer_win32.h"

namespace velmora::wintest {
namespace {

using std::chrono::year;

std::string Text(DateTime value) { return script::DateText(value) + " " + script::TimeText(value); }

DateTime At(int y, unsigned m, unsigned d, int hh, int mm, int ss) {
  return DateTime::Combine(DateTime::FromDate(year{y} / m / d), DateTime::FromTimeOfDay(hh, mm, ss));
}

TEST(AutomationDate, ConvertsBothWaysIncludingDaysBeforeTheZeroDate) {
  struct Case {
    DATE date;
    DateTime value;
  };
  const Case cases[] = {
      {0.0, DateTime{}},
      {1.5, At(1899, 12, 31, 12, 0, 0)},
      {-1.25, At(1899, 12, 29, 6, 0, 0)},  // the day counts back, the time still forward
      {45658.75, At(2025, 1, 1, 18, 0, 0)},
      {2.0 + 1.0 / 86400, At(1900, 1, 1, 0, 0, 1)},
  };
  for (const Case& c : cases) {
    const auto value = win32::FromAutomationDate(c.date);
    ASSERT_TRUE(value.has_value()) << c.date;
    EXPECT_EQ(Text(*value), Text(c.value)) << "from " << c.date;
    EXPECT_DOUBLE_EQ(win32::ToAutomationDate(c.value), c.date) << "to " << Text(c.value);
  }
  EXPECT_EQ(Text(*win32::FromAutomationDate(-0.5)), Text(At(1899, 12, 30, 12, 0, 0)));
  EXPECT_FALSE(win32::FromAutomationDate(3e6).has_value());
  EXPECT_FALSE(win32::FromAutomationDate(std::nan("")).has_value());
}

TEST(Regional, DefaultTextsReadBackAsTheSameValue) {
  const win32::UserRegional regional;
  // Midnight and noon, which a 12-hour clock writes with its marks; the 1st and the 31st of
  // December, whose day and month a reader must not swap.
  const DateTime values[] = {DateTime::FromDate(year{2026} / 3 / 14), DateTime::FromTimeOfDay(15, 9, 26),
                             DateTime{},  DateTime::FromTimeOfDay(12, 0, 0), DateTime::FromTimeOfDay(0, 0, 1),
                             DateTime::FromDate(year{2026} / 12 / 1), DateTime::FromDate(year{2026} / 12 / 31),
                             DateTime::FromDate(year{2026} / 1 / 12), At(2030, 12, 31, 23, 59, 59)};
  for (const DateTime value : values) {
    const std::u16string text = regional.DateTimeToText(value);
    const auto back = regional.TextToDateTime(text);
    ASSERT_TRUE(back.has_value()) << "\"" << ToUtf8(text) << "\" does not read back";
    EXPECT_EQ(Text(*back), Text(value)) << "via \"" << ToUtf8(text) << "\"";
  }
  EXPECT_EQ(regional.DateTimeToText(DateTime::FromDate(year{2026} / 3 / 14)).find(u':'), std::u16string::npos)
      << "a bare date was shown with a time of day";
  EXPECT_FALSE(regional.TextToDateTime(u"noon").has_value());
}

TEST(WindowTimer, TicksThroughTheMessageLoopOnlyWhileEnabledWithAnInterval) {
  win32::TimerWindow window;
  win32::WindowTimer timer(window);
  int ticks = 0;
  timer.SetHandler([&] { ++ticks; });
  timer.SetInterval(20);
  PumpMessages(150);
  EXPECT_EQ(ticks, 0) << "a timer that was never enabled ticked";

  timer.SetEnabled(true);
  PumpMessages(300);
  EXPECT_GE(ticks, 3);

  timer.SetInterval(0);
  const int atZero = ticks;
  PumpMessages(150);
  EXPECT_EQ(ticks, atZero) << "interval 0 ticked";

  timer.SetInterval(20);
  timer.SetEnabled(false);
  const int atStop = ticks;
  PumpMessages(150);
  EXPECT_EQ(ticks, atStop) << "a disabled timer ticked";
}

}  // namespace
}  // namespace velmora::wintest
