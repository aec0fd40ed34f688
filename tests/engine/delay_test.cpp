#include "engine/delay.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "virtual/virtual_time.h"

namespace velmora {
namespace {

struct RowCase {
  std::string text;
  std::string code;
  std::int32_t seconds, fullTicks, restSeconds;
};

// Every row of the delay list with the tick plan its delay splits into.
const RowCase kRows[kDelayRowCount] = {
    {"6 Seconds", "6s", 6, 0, 6},          {"10 Seconds", "10s", 10, 0, 10},
    {"15 Seconds", "15s", 15, 0, 15},      {"30 Seconds", "30s", 30, 1, 0},
    {"1 Minute", "1m", 60, 2, 0},          {"2 Minutes", "2m", 120, 4, 0},
    {"5 Minutes", "5m", 300, 10, 0},       {"10 Miutes", "10m", 600, 20, 0},
    {"15 Minutes", "15m", 900, 30, 0},     {"30 Minutes", "30m", 1'800, 60, 0},
    {"45 Minutes", "45m", 2'700, 90, 0},   {"1 Hour", "1h", 3'600, 120, 0},
    {"2 hours", "2h", 7'200, 240, 0},      {"4 Hours", "4h", 14'400, 480, 0},
    {"6 Hours", "6h", 21'600, 720, 0},     {"8 Hours", "8h", 28'800, 960, 0},
    {"10 Hours", "10h", 36'000, 1'200, 0}, {"12 Hours", "12h", 43'200, 1'440, 0},
    {"1 Day", "1d", 86'400, 2'880, 0},     {"Enter Own Delay", "", 0, 0, 0}};

class Schedule : public ::testing::Test {
 protected:
  Schedule() {
    timer_.SetHandler([this] {
      if (schedule_.Tick()) refreshes_.push_back(time_.ElapsedMilliseconds() / 1'000);
    });
  }
  VirtualTime time_{DateTime::FromDate(std::chrono::year{2024} / 1 / 1)};
  VirtualTimer timer_{time_};
  RefreshSchedule schedule_{timer_};
  std::vector<std::int64_t> refreshes_;  // seconds since the split
};

TEST_F(Schedule, EveryDelayRowHasItsCodeSecondsAndTickPlan) {
  ASSERT_EQ(DelayRows().size(), std::size(kRows));
  for (std::int32_t row = 0; row < kDelayRowCount; ++row) {
    const RowCase& want = kRows[row];
    const DelayRow& got = DelayRows()[row];
    EXPECT_EQ(ToUtf8(got.text), want.text) << "row " << row;
    EXPECT_EQ(ToUtf8(got.code), want.code) << "row " << row;
    EXPECT_EQ(got.seconds, want.seconds) << "row " << row;
    schedule_.Split(got.seconds);
    EXPECT_EQ(schedule_.nFullTicks, want.fullTicks) << "row " << row;
    EXPECT_EQ(schedule_.nRestSeconds, want.restSeconds) << "row " << row;
    EXPECT_EQ(schedule_.nTicksLeft, want.fullTicks) << "row " << row;
    EXPECT_EQ(timer_.Interval(), want.fullTicks != 0 ? 30'000 : want.restSeconds * 1'000)
        << "row " << row;
    if (row == kOwnDelayRow) continue;
    const DelayCodeMeaning meaning = InterpretDelayCode(FromUtf8(want.code), u'.');
    EXPECT_EQ(meaning.row, row) << want.code;
    EXPECT_EQ(ToUtf8(meaning.listText), want.text) << want.code;
    EXPECT_EQ(meaning.seconds, want.seconds) << want.code;
  }
}

TEST(InterpretDelayCode, ReadsAnyOtherCodeAsSecondsHalvesToEven) {
  const std::tuple<std::u16string, std::string, std::int32_t> cases[] = {
      {u"45", "45 Seconds", 45},        {u"abc", "0 Seconds", 0},
      {u"2.5", "2,5 Seconds", 2},       {u"7.5", "7,5 Seconds", 8},
      {u"1M", "1 Seconds", 1},          {u"", "0 Seconds", 0},
      {u"-30", "-30 Seconds", 0},       {u"3e9", "3000000000 Seconds", 0},
      {u"1E999", "Infinity Seconds", 0}, {u"7,5", "7,5 Seconds", 8}};
  for (const auto& [code, text, seconds] : cases) {
    const DelayCodeMeaning meaning = InterpretDelayCode(code, u',');
    EXPECT_EQ(meaning.row, -1) << ToUtf8(code);
    EXPECT_EQ(ToUtf8(meaning.listText), text) << ToUtf8(code);
    EXPECT_EQ(meaning.seconds, seconds) << ToUtf8(code);
  }
  // Where the comma is no decimal separator, a code written with one ends at the comma.
  const DelayCodeMeaning point = InterpretDelayCode(u"7,5", u'.');
  EXPECT_EQ(ToUtf8(point.listText), "7 Seconds");
  EXPECT_EQ(point.seconds, 7);
}

TEST_F(Schedule, RefreshesAtTheEndOfEveryPeriod) {
  const struct {
    std::int32_t delay;
    std::int64_t runSeconds;
    std::vector<std::int64_t> refreshes;
    std::int64_t ticks;
  } cases[] = {
      {6, 20, {6, 12, 18}, 3},
      {30, 95, {30, 60, 90}, 3},
      {45, 140, {45, 90, 135}, 6},
      {60, 185, {60, 120, 180}, 6},
      {86'400, 172'801, {86'400, 172'800}, 5'760},
      {0, 86'400, {}, 0},
      {-45, 86'400, {}, 0},                         // a negative delay never ticks
      {1'000'000, 1'000'001, {1'000'000}, 33'334},  // beyond a 16-bit tick count
  };
  for (const auto& c : cases) {
    refreshes_.clear();
    timer_.SetEnabled(false);
    const std::int64_t ticksBefore = timer_.TickCount();
    const std::int64_t start = time_.ElapsedMilliseconds() / 1'000;
    schedule_.Split(c.delay);
    timer_.SetEnabled(true);
    time_.Advance(c.runSeconds * 1'000);
    for (std::int64_t& at : refreshes_) at -= start;
    EXPECT_EQ(refreshes_, c.refreshes) << "delay " << c.delay;
    EXPECT_EQ(timer_.TickCount() - ticksBefore, c.ticks) << "delay " << c.delay;
  }
}

TEST_F(Schedule, SwitchingOffAndOnContinuesTheInterruptedPeriod) {
  schedule_.Split(60);
  timer_.SetEnabled(true);
  time_.Advance(30'000);  // one tick of two done
  timer_.SetEnabled(false);
  time_.Advance(100'000);
  EXPECT_EQ(schedule_.nTicksLeft, 1);
  timer_.SetEnabled(true);
  time_.Advance(95'000);
  EXPECT_EQ(refreshes_, (std::vector<std::int64_t>{160, 220}));

  // Off during the shorter tick for the rest: on again, the rest is all that is left.
  refreshes_.clear();
  schedule_.Split(45);
  time_.Advance(40'000);  // at 255 s the shorter tick of 15 s began
  timer_.SetEnabled(false);
  timer_.SetEnabled(true);
  time_.Advance(60'000);
  EXPECT_EQ(refreshes_, (std::vector<std::int64_t>{280, 325}));
}

}  // namespace
}  // namespace velmora
