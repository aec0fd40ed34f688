#pragma once
// timCount on Windows: SetTimer on a message-only window of the plug-in's thread, so ticks
// arrive through the host's own message loop, between calls, as the plug-in expects.
#include <windows.h>

#include <functional>
#include <optional>
#include <set>

#include "module.h"
#include "ports/timer.h"
#include "raii.h"

namespace velmora::win32 {

class WindowTimer;

// The one timer window of a thread. It exists only while one of the thread's timers runs,
// and while it exists the DLL stays loaded.
class TimerWindow {
 public:
  TimerWindow() = default;
  ~TimerWindow();
  TimerWindow(const TimerWindow&) = delete;
  TimerWindow& operator=(const TimerWindow&) = delete;

  // (Re)starts `timer`'s countdown; false when the window or the timer cannot be made.
  bool Start(WindowTimer& timer, UINT milliseconds);
  void Stop(WindowTimer& timer);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void OnTimer(UINT_PTR id);
  void DestroyWhenIdle();

  UniqueHwnd window_;
  std::optional<ModuleReference> windowReference_;
  std::set<WindowTimer*> running_;
  int dispatching_ = 0;  // ticks being handled; the window outlives them
};

// Before the DLL is unloaded: the window class goes with it.
void UnregisterTimerWindowClass();

class WindowTimer : public Timer {
 public:
  explicit WindowTimer(TimerWindow& window) : window_(window) {}
  ~WindowTimer() override;
  WindowTimer(const WindowTimer&) = delete;
  WindowTimer& operator=(const WindowTimer&) = delete;

  void SetHandler(std::function<void()> onTick) override { onTick_ = std::move(onTick); }
  void SetInterval(std::int32_t milliseconds) override;
  [[nodiscard]] std::int32_t Interval() const override { return interval_; }
  void SetEnabled(bool enabled) override;
  [[nodiscard]] bool Enabled() const override { return enabled_; }

  // Called by the window for each WM_TIMER of this timer.
  void Tick();

 private:
  // Runs the countdown afresh when enabled with a non-zero interval, else stops it.
  void Restart();

  TimerWindow& window_;
  std::function<void()> onTick_;
  std::int32_t interval_ = 0;
  bool enabled_ = false;
  std::optional<ModuleReference> runningReference_;
};

}  // namespace velmora::win32
