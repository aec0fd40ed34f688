#pragma once
// timCount on Windows: SetTimer on a hidden window of the plug-in's thread, so ticks arrive
// through the host's own message loop, between calls, as the plug-in expects. The window is
// top-level, not message-only, because the system tells only top-level windows that it
// resumed from sleep or that its time changed.
#include <windows.h>

#include <functional>
#include <memory>
#include <set>

#include "module.h"
#include "ports/countdown_timer.h"
#include "raii.h"

namespace velmora::win32 {

inline constexpr wchar_t kTimerWindowClass[] = L"VelmoraTimerWindow";

class WindowTimer;

// The one timer window of a thread. It exists only while one of the thread's timers is
// switched on (the thread's plug-in, which owns it, keeps the DLL loaded meanwhile).
class TimerWindow {
 public:
  TimerWindow() = default;
  ~TimerWindow();
  TimerWindow(const TimerWindow&) = delete;
  TimerWindow& operator=(const TimerWindow&) = delete;

  // Runs when the system resumed from sleep or its time was set (also by a new time zone).
  void SetClockJumpHandler(std::function<void()> onClockJump) { onClockJump_ = std::move(onClockJump); }
  // Runs when a tick or a notice ends and no timer runs any more: what had to wait for the
  // tick can be done now. It may destroy this window (and this object) and is the last
  // thing the window procedure does.
  void SetIdleHandler(std::function<void()> onIdle) { onIdle_ = std::move(onIdle); }

  // While `timer` is held the window exists, so the system's notices reach it; false when
  // the window cannot be made.
  bool Hold(const Timer& timer, bool held);
  // (Re)starts `timer`'s countdown; false when the window or the timer cannot be made.
  bool Start(WindowTimer& timer, UINT milliseconds);
  void Stop(WindowTimer& timer);
  // For good: every timer stops, the window goes once no tick or notice runs, and nothing
  // starts or holds it again, so nothing more is published from here.
  void Close();
  // Whether a timer runs (or holds the window) or a tick is being handled.
  [[nodiscard]] bool Running() const { return !running_.empty() || !held_.empty() || dispatching_ > 0; }
  // Whether a tick or a notice is being handled: the plug-in's code is on the stack.
  [[nodiscard]] bool Dispatching() const { return dispatching_ > 0; }

  [[nodiscard]] HWND Window() const { return window_.get(); }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  bool MakeWindow();
  LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void OnTimer(UINT_PTR id);
  void OnClockJump();
  void DestroyWhenIdle();
  void DestroyWindow();
  void DispatchEnded();

  UniqueHwnd window_;
  bool closed_ = false;
  std::function<void()> onClockJump_;
  std::function<void()> onIdle_;
  std::set<const Timer*> held_;
  std::set<WindowTimer*> running_;
  int dispatching_ = 0;  // ticks and notices being handled; the window outlives them
};

// A timer of another kind (the test build's virtual one) that holds the thread's timer
// window while it is switched on, as a WindowTimer does, so the system's notices still
// reach the plug-in.
class HoldingTimer : public Timer {
 public:
  HoldingTimer(std::unique_ptr<Timer> inner, TimerWindow& window) : inner_(std::move(inner)), window_(window) {}
  ~HoldingTimer() override { window_.Hold(*this, false); }
  HoldingTimer(const HoldingTimer&) = delete;
  HoldingTimer& operator=(const HoldingTimer&) = delete;

  void SetHandler(std::function<void()> onTick) override { inner_->SetHandler(std::move(onTick)); }
  void SetInterval(std::int32_t milliseconds) override { inner_->SetInterval(milliseconds); }
  [[nodiscard]] std::int32_t Interval() const override { return inner_->Interval(); }
  void SetEnabled(bool enabled) override {
    inner_->SetEnabled(enabled);
    window_.Hold(*this, enabled);
  }
  [[nodiscard]] bool Enabled() const override { return inner_->Enabled(); }

 private:
  std::unique_ptr<Timer> inner_;
  TimerWindow& window_;
};

// Inside a catch: the failure of a tick, through OutputDebugString.
void ReportTickFailure() noexcept;

class WindowTimer : public CountdownTimer {
 public:
  explicit WindowTimer(TimerWindow& window) : window_(window) {}
  ~WindowTimer() override;

  // Called by the window for each WM_TIMER of this timer. SetTimer repeats by itself, so
  // a tick only runs the handler.
  void Tick();

 private:
  void StartCountdown(std::int32_t milliseconds) override;
  // While on, the timer holds the window, so the system's notices reach the plug-in.
  void EnabledChanged(bool enabled) override { window_.Hold(*this, enabled); }

  TimerWindow& window_;
};

}  // namespace velmora::win32
