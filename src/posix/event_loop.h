#pragma once
// One thread, one loop: input lines, timer ticks and Ctrl-C arrive here in turn, so the
// plug-in is never entered twice at once. The loop sleeps in poll() until a line, a
// signal or the next tick is due; nothing spins.
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ports/countdown_timer.h"

namespace velmora {

class LoopTimer;

class EventLoop {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  EventLoop();
  ~EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // A periodic timer whose ticks this loop delivers.
  [[nodiscard]] std::unique_ptr<Timer> MakeTimer();

  // Delivers each line read from `fd` (without its line break); `onEnd` runs once at end of
  // input. The loop goes on without input until Stop or the deadline.
  void WatchInput(int fd, std::function<void(std::string_view line)> onLine, std::function<void()> onEnd);
  // `onWake` runs each time the loop wakes, before any tick, and the loop wakes at least
  // every `period`.
  void WatchWakeUps(std::chrono::milliseconds period, std::function<void()> onWake);
  void StopAt(TimePoint deadline) { deadline_ = deadline; }
  void Stop() { stopped_ = true; }

  enum class Ending { kStopped, kDeadline, kInterrupted };
  // Runs until Stop, the deadline, or SIGINT / SIGTERM (which it catches while it runs).
  Ending Run();

 private:
  friend class LoopTimer;
  void FireDueTimers();
  [[nodiscard]] int PollTimeout() const;
  void ReadInput();

  std::vector<LoopTimer*> timers_;
  int inputFd_ = -1;
  std::string pending_;
  std::function<void(std::string_view)> onLine_;
  std::function<void()> onEnd_;
  std::optional<std::chrono::milliseconds> wakePeriod_;
  std::function<void()> onWake_;
  std::optional<TimePoint> deadline_;
  bool stopped_ = false;
};

// A timer may outlive its loop: it then never fires again and touches nothing.
class LoopTimer : public CountdownTimer {
 public:
  explicit LoopTimer(EventLoop& loop);
  ~LoopTimer() override;

 private:
  friend class EventLoop;
  void StartCountdown(std::int32_t milliseconds) override;

  EventLoop* loop_;  // null once the loop is gone
  std::optional<EventLoop::TimePoint> due_;
};

}  // namespace velmora
