#include "posix/event_loop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace velmora {

namespace {
// The self-pipe: the signal handler writes one byte, poll() wakes on it.
int gSignalPipe[2] = {-1, -1};

extern "C" void OnSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const auto written = write(gSignalPipe[1], &byte, 1);
  errno = saved;
}

// Installs the handlers for the lifetime of a Run and puts the old ones back after it.
class SignalScope {
 public:
  SignalScope() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &oldInt_);
    sigaction(SIGTERM, &action, &oldTerm_);
  }
  ~SignalScope() {
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
  }
  SignalScope(const SignalScope&) = delete;
  SignalScope& operator=(const SignalScope&) = delete;

 private:
  struct sigaction oldInt_ {};
  struct sigaction oldTerm_ {};
};
}  // namespace

EventLoop::EventLoop() {
  if (gSignalPipe[0] < 0) {
    if (pipe(gSignalPipe) != 0) throw std::runtime_error("cannot create the signal pipe");
    for (const int fd : gSignalPipe) {
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
      fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
  }
}

EventLoop::~EventLoop() {
  for (LoopTimer* timer : timers_) {
    timer->due_.reset();
    timer->loop_ = nullptr;
  }
}

std::unique_ptr<Timer> EventLoop::MakeTimer() { return std::make_unique<LoopTimer>(*this); }

void EventLoop::WatchInput(int fd, std::function<void(std::string_view)> onLine, std::function<void()> onEnd) {
  inputFd_ = fd;
  onLine_ = std::move(onLine);
  onEnd_ = std::move(onEnd);
}

void EventLoop::WatchWakeUps(std::chrono::milliseconds period, std::function<void()> onWake) {
  wakePeriod_ = period;
  onWake_ = std::move(onWake);
}

int EventLoop::PollTimeout() const {
  std::optional<TimePoint> next = deadline_;
  if (wakePeriod_) {
    const TimePoint wake = std::chrono::steady_clock::now() + *wakePeriod_;
    if (!next || wake < *next) next = wake;
  }
  for (const LoopTimer* timer : timers_) {
    if (timer->due_ && (!next || *timer->due_ < *next)) next = timer->due_;
  }
  if (!next) return -1;
  const auto wait = *next - std::chrono::steady_clock::now();
  if (wait <= wait.zero()) return 0;
  // Rounded up, so the loop never wakes a moment before the tick and goes back to sleep.
  const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
  return static_cast<int>(std::min<long long>(milliseconds, 24LL * 3600 * 1000));
}

EventLoop::Ending EventLoop::Run() {
  SignalScope signals;
  stopped_ = false;
  while (!stopped_) {
    pollfd fds[2] = {{gSignalPipe[0], POLLIN, 0}, {inputFd_, POLLIN, 0}};
    const nfds_t count = inputFd_ >= 0 ? 2 : 1;
    const int ready = poll(fds, count, PollTimeout());
    if (ready < 0 && errno != EINTR) throw std::runtime_error("poll failed");
    if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
      char drain[16];
      while (read(gSignalPipe[0], drain, sizeof drain) > 0) {
      }
      return Ending::kInterrupted;
    }
    if (onWake_) onWake_();
    if (ready > 0 && count == 2 && fds[1].revents != 0) ReadInput();
    if (stopped_) break;
    FireDueTimers();
    if (deadline_ && std::chrono::steady_clock::now() >= *deadline_) return Ending::kDeadline;
  }
  return Ending::kStopped;
}

void EventLoop::ReadInput() {
  char buffer[4096];
  const ssize_t got = read(inputFd_, buffer, sizeof buffer);
  if (got < 0) {
    if (errno == EINTR || errno == EAGAIN) return;
  }
  if (got <= 0) {
    inputFd_ = -1;
    if (!pending_.empty()) {
      const std::string last = std::move(pending_);
      pending_.clear();
      onLine_(last);
    }
    if (onEnd_) onEnd_();
    return;
  }
  pending_.append(buffer, static_cast<std::size_t>(got));
  for (std::size_t end = pending_.find('\n'); end != std::string::npos && !stopped_; end = pending_.find('\n')) {
    const std::string line = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    onLine_(line);
  }
}

void EventLoop::FireDueTimers() {
  const TimePoint now = std::chrono::steady_clock::now();
  // Earliest first; a handler may restart any timer, so look again after each tick.
  for (;;) {
    LoopTimer* next = nullptr;
    for (LoopTimer* timer : timers_) {
      if (timer->due_ && *timer->due_ <= now && (next == nullptr || *timer->due_ < *next->due_)) next = timer;
    }
    if (next == nullptr || stopped_) return;
    next->CountdownEnded();
  }
}

LoopTimer::LoopTimer(EventLoop& loop) : loop_(&loop) { loop_->timers_.push_back(this); }

LoopTimer::~LoopTimer() {
  if (loop_ != nullptr) std::erase(loop_->timers_, this);
}

void LoopTimer::StartCountdown(std::int32_t milliseconds) {
  if (milliseconds > 0 && loop_ != nullptr) {
    due_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  } else {
    due_.reset();
  }
}

}  // namespace velmora
