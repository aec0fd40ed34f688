#include "posix/event_loop.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace velmora {
namespace {

class Pipe {
 public:
  Pipe() { EXPECT_EQ(pipe(fds_), 0); }
  ~Pipe() {
    CloseWrite();
    close(fds_[0]);
  }
  void Write(std::string_view text) { ASSERT_EQ(write(fds_[1], text.data(), text.size()), static_cast<ssize_t>(text.size())); }
  void CloseWrite() {
    if (fds_[1] >= 0) close(fds_[1]);
    fds_[1] = -1;
  }
  [[nodiscard]] int ReadEnd() const { return fds_[0]; }

 private:
  int fds_[2] = {-1, -1};
};

TEST(EventLoop, DeliversWholeLinesThenTheEndOfInput) {
  EventLoop loop;
  Pipe input;
  input.Write("first\nsecond line\r\nlast without break");
  input.CloseWrite();
  std::vector<std::string> lines;
  bool ended = false;
  loop.WatchInput(input.ReadEnd(), [&](std::string_view line) { lines.emplace_back(line); },
                  [&] {
                    ended = true;
                    loop.Stop();
                  });
  EXPECT_EQ(loop.Run(), EventLoop::Ending::kStopped);
  EXPECT_TRUE(ended);
  EXPECT_EQ(lines, (std::vector<std::string>{"first", "second line\r", "last without break"}));
}

TEST(EventLoop, TicksOnlyEnabledTimersWithAnIntervalAndRestartsOnANewInterval) {
  EventLoop loop;
  auto ticking = loop.MakeTimer();
  auto disabled = loop.MakeTimer();
  auto zero = loop.MakeTimer();
  std::vector<char> order;
  int ticks = 0;
  ticking->SetHandler([&] {
    order.push_back('t');
    // A new interval from inside the handler takes effect for the next tick.
    if (++ticks == 1) ticking->SetInterval(5);
    if (ticks == 3) loop.Stop();
  });
  disabled->SetHandler([&] { order.push_back('d'); });
  zero->SetHandler([&] { order.push_back('z'); });
  ticking->SetInterval(20);
  ticking->SetEnabled(true);
  disabled->SetInterval(1);
  zero->SetInterval(0);
  zero->SetEnabled(true);

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(loop.Run(), EventLoop::Ending::kStopped);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(std::string(order.begin(), order.end()), "ttt");
  // One 20 ms tick and two 5 ms ticks: never sooner than that.
  EXPECT_GE(elapsed, std::chrono::milliseconds(30));
}

TEST(EventLoop, WakesByItselfToLookAtTheClocksBeforeAnyTick) {
  EventLoop loop;
  auto timer = loop.MakeTimer();
  std::string order;
  timer->SetHandler([&] { order += 't'; });
  timer->SetInterval(30);
  timer->SetEnabled(true);
  int wakes = 0;
  loop.WatchWakeUps(std::chrono::milliseconds(5), [&] {
    order += 'w';
    if (++wakes == 20) loop.Stop();
  });
  // Nothing else would wake the loop this soon: no input, and a deadline far off.
  loop.StopAt(std::chrono::steady_clock::now() + std::chrono::seconds(10));
  EXPECT_EQ(loop.Run(), EventLoop::Ending::kStopped);
  EXPECT_EQ(wakes, 20);
  const auto tick = order.find('t');
  ASSERT_NE(tick, std::string::npos) << order;
  EXPECT_EQ(order[tick - 1], 'w') << "a wake-up is looked at before its tick: " << order;
}

TEST(EventLoop, EndsAtItsDeadlineWithNothingToDo) {
  EventLoop loop;
  loop.StopAt(std::chrono::steady_clock::now() + std::chrono::milliseconds(15));
  EXPECT_EQ(loop.Run(), EventLoop::Ending::kDeadline);
}

TEST(EventLoop, EndsOnInterruptOrTerminateAndPutsTheOldHandlersBack) {
  for (const int signal : {SIGINT, SIGTERM}) {
    struct sigaction before {};
    sigaction(signal, nullptr, &before);
    EventLoop loop;
    auto timer = loop.MakeTimer();
    int ticks = 0;
    timer->SetHandler([&] {
      // Caught while the loop runs: the loop ends and the process goes on.
      if (++ticks == 2) raise(signal);
    });
    timer->SetInterval(1);
    timer->SetEnabled(true);
    loop.StopAt(std::chrono::steady_clock::now() + std::chrono::seconds(10));
    EXPECT_EQ(loop.Run(), EventLoop::Ending::kInterrupted) << "signal " << signal;
    EXPECT_EQ(ticks, 2) << "signal " << signal;
    struct sigaction after {};
    sigaction(signal, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler) << "signal " << signal;
  }
}

TEST(EventLoop, ATimerThatOutlivesItsLoopNeverFiresAndTouchesNothing) {
  auto loop = std::make_unique<EventLoop>();
  auto timer = loop->MakeTimer();
  timer->SetInterval(1);
  timer->SetEnabled(true);
  loop.reset();
  // Under the sanitizers any use of the freed loop fails here.
  timer->SetInterval(2);
  timer->SetEnabled(false);
  timer->SetEnabled(true);
  EXPECT_TRUE(timer->Enabled());
  timer.reset();
}

}  // namespace
}  // namespace velmora
