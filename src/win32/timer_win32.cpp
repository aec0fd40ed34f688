#include "timer_win32.h"

#include <new>
#include <string>

#include "base/error.h"
#include "window_state.h"

namespace velmora::win32 {

namespace {

UINT_PTR TimerId(WindowTimer& timer) { return reinterpret_cast<UINT_PTR>(&timer); }

}  // namespace

void ReportTickFailure() noexcept {
  std::wstring text = L"Velmora: the counter's tick failed: ";
  try {
    throw;
  } catch (const VelmoraError& error) {
    text += std::wstring(error.Description().begin(), error.Description().end());
  } catch (const std::bad_alloc&) {
    text += L"Out of memory";
  } catch (...) {
    text += L"unexpected error";
  }
  text += L"\n";
  ::OutputDebugStringW(text.c_str());
}

// TimerWindow ------------------------------------------------------------------------------

TimerWindow::~TimerWindow() {
  for (WindowTimer* timer : running_) ::KillTimer(window_.get(), TimerId(*timer));
  running_.clear();
  held_.clear();
  DestroyWindow();
}

bool TimerWindow::MakeWindow() {
  if (closed_) return false;
  if (window_) return true;
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &WindowProc;
  windowClass.hInstance = ThisModule();
  windowClass.lpszClassName = kTimerWindowClass;
  if (!UseWindowClass(windowClass)) return false;
  // Top-level and never shown: a message-only window would hear no broadcast.
  window_.reset(::CreateWindowExW(WS_EX_TOOLWINDOW, kTimerWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  ThisModule(), this));
  if (window_) return true;
  LeaveWindowClass(kTimerWindowClass);
  return false;
}

void TimerWindow::DestroyWindow() {
  if (!window_) return;
  window_.reset();
  LeaveWindowClass(kTimerWindowClass);
}

bool TimerWindow::Hold(const Timer& timer, bool held) {
  if (!held) {
    if (held_.erase(&timer) != 0) DestroyWhenIdle();
    return true;
  }
  if (!MakeWindow()) return false;
  held_.insert(&timer);
  return true;
}

bool TimerWindow::Start(WindowTimer& timer, UINT milliseconds) {
  if (!MakeWindow()) return false;
  // SetTimer with an id already running replaces it: the countdown starts over.
  if (::SetTimer(window_.get(), TimerId(timer), milliseconds, nullptr) == 0) {
    DestroyWhenIdle();
    return false;
  }
  running_.insert(&timer);
  return true;
}

void TimerWindow::Stop(WindowTimer& timer) {
  if (running_.erase(&timer) == 0) return;
  ::KillTimer(window_.get(), TimerId(timer));
  DestroyWhenIdle();
}

void TimerWindow::Close() {
  closed_ = true;
  for (WindowTimer* timer : running_) ::KillTimer(window_.get(), TimerId(*timer));
  running_.clear();
  held_.clear();
  DestroyWhenIdle();
}

void TimerWindow::DestroyWhenIdle() {
  if (!held_.empty() || !running_.empty() || dispatching_ > 0) return;
  DestroyWindow();
}

void TimerWindow::OnTimer(UINT_PTR id) {
  // A WM_TIMER already queued may name a timer stopped or destroyed since.
  const auto found = running_.find(reinterpret_cast<WindowTimer*>(id));
  if (found == running_.end()) return;
  ++dispatching_;
  (*found)->Tick();
  --dispatching_;
  DispatchEnded();
}

void TimerWindow::OnClockJump() {
  if (!onClockJump_) return;
  ++dispatching_;
  // Like a tick, a notice has no caller to hand a failure to; the next tick tries again.
  try {
    onClockJump_();
  } catch (...) {
    ReportTickFailure();
  }
  --dispatching_;
  DispatchEnded();
}

void TimerWindow::DispatchEnded() {
  DestroyWhenIdle();
  if (Running() || !onIdle_) return;
  // A copy: the handler may destroy this object, and with it the member.
  const std::function<void()> onIdle = onIdle_;
  onIdle();
}

LRESULT CALLBACK TimerWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = WindowStateOf<TimerWindow>(window, message, lParam);
  if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
  // Nothing may unwind into the system's message dispatch.
  try {
    return self->Handle(window, message, wParam, lParam);
  } catch (...) {
    ReportTickFailure();
    return 0;
  }
}

LRESULT TimerWindow::Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      OnTimer(wParam);
      return 0;
    case WM_POWERBROADCAST:
      // A resume the user started comes as both notices, one after the other; each
      // publishes, which is harmless.
      if (wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND) OnClockJump();
      return TRUE;
    case WM_TIMECHANGE:
      // The system's date and time settings send this also for a new time zone.
      OnClockJump();
      return 0;
    default:
      return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

// WindowTimer ------------------------------------------------------------------------------

WindowTimer::~WindowTimer() {
  window_.Stop(*this);
  window_.Hold(*this, false);
}

void WindowTimer::StartCountdown(std::int32_t milliseconds) {
  if (milliseconds > 0 && window_.Start(*this, static_cast<UINT>(milliseconds))) return;
  window_.Stop(*this);
}

void WindowTimer::Tick() {
  // A tick has no caller to hand a failure to and no user to show it to: it goes to the
  // debugger's output, and the next tick tries again.
  try {
    RunHandler();
  } catch (...) {
    ReportTickFailure();
  }
}

}  // namespace velmora::win32
