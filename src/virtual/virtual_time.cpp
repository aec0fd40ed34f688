#include "virtual/virtual_time.h"

#include <algorithm>

namespace velmora {

namespace {
std::int64_t ToMilliseconds(DateTime value) {
  return value.Local().time_since_epoch().count() * 1000;
}
}  // namespace

VirtualTime::VirtualTime(DateTime start) : wallAtZeroElapsed_(ToMilliseconds(start)) {}

VirtualTime::~VirtualTime() {
  for (VirtualTimer* timer : timers_) {
    timer->due_ = -1;
    timer->time_ = nullptr;
  }
}

DateTime VirtualTime::Now() const {
  const std::int64_t wall = wallAtZeroElapsed_ + elapsed_;
  // Whole seconds, rounded down also before the epoch.
  const std::int64_t seconds = wall >= 0 ? wall / 1000 : -((-wall + 999) / 1000);
  return DateTime::FromLocal(std::chrono::local_seconds{std::chrono::seconds{seconds}});
}

void VirtualTime::SetClock(DateTime now) { wallAtZeroElapsed_ = ToMilliseconds(now) - elapsed_; }

void VirtualTime::Advance(std::int64_t milliseconds) {
  const std::int64_t target = elapsed_ + std::max<std::int64_t>(milliseconds, 0);
  for (;;) {
    VirtualTimer* next = nullptr;
    for (VirtualTimer* timer : timers_) {
      if (timer->due_ >= 0 && timer->due_ <= target && (next == nullptr || timer->due_ < next->due_)) {
        next = timer;
      }
    }
    if (next == nullptr) break;
    elapsed_ = next->due_;
    next->Fire();
  }
  elapsed_ = target;
}

void VirtualTime::Sleep(std::int64_t milliseconds) { wallAtZeroElapsed_ += std::max<std::int64_t>(milliseconds, 0); }

std::unique_ptr<Timer> VirtualTime::MakeTimer() { return std::make_unique<VirtualTimer>(*this); }

VirtualTimer::VirtualTimer(VirtualTime& time) : time_(&time) { time_->timers_.push_back(this); }

VirtualTimer::~VirtualTimer() {
  if (time_ != nullptr) std::erase(time_->timers_, this);
}

void VirtualTimer::StartCountdown(std::int32_t milliseconds) {
  due_ = milliseconds > 0 && time_ != nullptr ? time_->elapsed_ + milliseconds : -1;
}

void VirtualTimer::Fire() {
  ++ticks_;
  CountdownEnded();
}

}  // namespace velmora
