#include "virtual/virtual_time.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmora {
namespace {

class Countdown : public ::testing::Test {
 protected:
  Countdown() {
    timer_->SetHandler([this] { ticks_.push_back(time_->ElapsedMilliseconds()); });
  }
  std::unique_ptr<VirtualTime> time_ = std::make_unique<VirtualTime>(DateTime{});
  std::unique_ptr<Timer> timer_ = time_->MakeTimer();
  std::vector<std::int64_t> ticks_;  // elapsed milliseconds of each tick
};

TEST_F(Countdown, ANewIntervalOrAFreshStartRestartsItAndZeroNeverFires) {
  timer_->SetInterval(100);
  time_->Advance(500);
  EXPECT_TRUE(ticks_.empty()) << "a disabled timer ticked";

  timer_->SetEnabled(true);  // a fresh start at 500
  time_->Advance(250);
  timer_->SetEnabled(true);  // already on: the countdown goes on
  time_->Advance(100);
  timer_->SetInterval(100);  // restarts at 850
  time_->Advance(150);
  timer_->SetInterval(0);
  time_->Advance(10'000);
  EXPECT_EQ(ticks_, (std::vector<std::int64_t>{600, 700, 800, 950}));
}

TEST_F(Countdown, AnIntervalSetInsideTheHandlerRulesTheNextTick) {
  timer_->SetHandler([this] {
    ticks_.push_back(time_->ElapsedMilliseconds());
    timer_->SetInterval(ticks_.size() == 1 ? 30 : 0);
  });
  timer_->SetInterval(10);
  timer_->SetEnabled(true);
  time_->Advance(1'000);
  EXPECT_EQ(ticks_, (std::vector<std::int64_t>{10, 40}));
}

TEST_F(Countdown, ATimerThatOutlivesItsTimeNeverFiresAndTouchesNothing) {
  timer_->SetInterval(10);
  timer_->SetEnabled(true);
  time_.reset();
  // Under the sanitizers any use of the freed time fails here.
  timer_->SetEnabled(false);
  timer_->SetEnabled(true);
  timer_->SetInterval(20);
  EXPECT_EQ(timer_->Interval(), 20);
  timer_.reset();
  EXPECT_TRUE(ticks_.empty());
}

}  // namespace
}  // namespace velmora
