#include "engine/delay.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "virtual/virtual_time.h"

namespace velmora {
namespace {

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

TEST(InterpretDelayCode, ReadsAnyOtherCodeAsSecondsHalvesToEven) {
  // The codes the stored_delay_codes script reads on both hosts are not repeated here; a
  // comma as the decimal separator and the largest numbers are.
  const std::tuple<std::u16string, std::string, std::int32_t> cases[] = {
      {u"2.5", "2,5 Seconds", 2}, {u"7.5", "7,5 Seconds", 8}, {u"7,5", "7,5 Seconds", 8},
      {u"3e9", "3000000000 Seconds", 0}, {u"1E999", "Infinity Seconds", 0}};
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
      // The rows' schedules are the timer_schedules script's.
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

// Off and on again with whole ticks left is the timer_schedules script's; off and on during
// the shorter tick for the rest leaves only the rest.
TEST_F(Schedule, SwitchingOffAndOnDuringTheRestTickLeavesOnlyTheRest) {
  schedule_.Split(45);
  timer_.SetEnabled(true);
  time_.Advance(40'000);  // at 30 s the shorter tick of 15 s began
  timer_.SetEnabled(false);
  timer_.SetEnabled(true);
  time_.Advance(60'000);
  EXPECT_EQ(refreshes_, (std::vector<std::int64_t>{55, 100}));
}

}  // namespace
}  // namespace velmora
