// The test build's half of the per-thread platform and the seam's exports (test_seam.h).
// Velmora.dll links thread_platform.cpp in this file's place and exports none of this.
#include "test_seam.h"

#include <memory>
#include <optional>

#include "automation_date.h"
#include "com_error.h"
#include "dialog_window.h"
#include "module.h"
#include "text_win32.h"
#include "thread_plugins.h"
#include "virtual/virtual_time.h"

using namespace velmora;
using namespace velmora::win32;

namespace {

// Hands names to the thread's real channel, unless told to fail the next one.
class FailingNames : public NameChannel {
 public:
  bool SetName(std::u16string_view text) override {
    if (failure_) {
      const VelmoraError error = std::move(*failure_);
      failure_.reset();
      throw error;
    }
    return real_->SetName(text);
  }
  void Use(NameChannel& real) { real_ = &real; }
  void FailNext(VelmoraError error) { failure_ = std::move(error); }

 private:
  NameChannel* real_ = nullptr;
  std::optional<VelmoraError> failure_;
};

struct TestThread {
  std::unique_ptr<VirtualTime> virtualTime;
  FailingNames names;
};

// The test build may keep per-thread state the plain way: it is never unloaded.
thread_local std::unique_ptr<TestThread> testThread;

TestThread& ThisTestThread() {
  if (!testThread) testThread = std::make_unique<TestThread>();
  return *testThread;
}

}  // namespace

namespace velmora::win32 {

Platform MakeThreadPlatform(ThreadPorts& ports) {
  TestThread& test = ThisTestThread();
  test.names.Use(ports.nameChannel);
  Platform platform;
  platform.clock = test.virtualTime ? static_cast<Clock*>(test.virtualTime.get()) : &ports.clock;
  platform.regional = &ports.regional;
  platform.registry = &ports.registry;
  platform.nameChannel = &test.names;
  TimerWindow* window = &ports.timerWindow;
  VirtualTime* time = test.virtualTime.get();
  platform.makeTimer = [window, time]() -> std::unique_ptr<Timer> {
    // Holding the timer window, so the system's notices still reach the plug-in.
    if (time) return std::make_unique<HoldingTimer>(time->MakeTimer(), *window);
    return std::make_unique<WindowTimer>(*window);
  };
  platform.makeView = &MakeDialogView;
  platform.componentName = ModuleBaseName();
  return platform;
}

}  // namespace velmora::win32

extern "C" HRESULT WINAPI VelmoraSeamUseVirtualTime(DATE start) {
  return Guarded([&] {
    const auto when = FromAutomationDate(start);
    if (!when) return E_INVALIDARG;
    // The plug-in holds on to the clock and timers it was made with.
    if (ExistingPluginOfThisThread()) return E_ILLEGAL_METHOD_CALL;
    ThisTestThread().virtualTime = std::make_unique<VirtualTime>(*when);
    return S_OK;
  });
}

extern "C" HRESULT WINAPI VelmoraSeamSetClock(DATE now) {
  return Guarded([&] {
    VirtualTime* time = ThisTestThread().virtualTime.get();
    if (!time) return E_ILLEGAL_METHOD_CALL;
    const auto when = FromAutomationDate(now);
    if (!when) return E_INVALIDARG;
    time->SetClock(*when);
    return S_OK;
  });
}

// Moves the thread's virtual clock forward by `milliseconds`, as `move` does it.
template <typename Move>
HRESULT MoveVirtualClock(LONGLONG milliseconds, Move move) {
  return Guarded([&] {
    VirtualTime* time = ThisTestThread().virtualTime.get();
    if (!time) return E_ILLEGAL_METHOD_CALL;
    if (milliseconds < 0) return E_INVALIDARG;
    move(*time, milliseconds);
    return S_OK;
  });
}

extern "C" HRESULT WINAPI VelmoraSeamAdvance(LONGLONG milliseconds) {
  return MoveVirtualClock(milliseconds, [](VirtualTime& time, LONGLONG ms) { time.Advance(ms); });
}

extern "C" HRESULT WINAPI VelmoraSeamSleep(LONGLONG milliseconds) {
  return MoveVirtualClock(milliseconds, [](VirtualTime& time, LONGLONG ms) { time.Sleep(ms); });
}

extern "C" HRESULT WINAPI VelmoraSeamGetState(VelmoraSeamState* state) {
  if (!state) return E_POINTER;
  return Guarded([&] {
    Plugin& plugin = PluginOfThisThread();
    const PluginState& shared = plugin.State();
    UniqueBstr nick = ToBstr(shared.sNick);
    UniqueBstr delayCode = ToBstr(shared.sDelayCode);
    if (!nick || !delayCode) return E_OUTOFMEMORY;
    VelmoraSeamState out{};
    out.nCountType = shared.nCountType;
    out.bEnabled = shared.bEnabled ? VARIANT_TRUE : VARIANT_FALSE;
    out.nDelaySeconds = shared.nDelaySeconds;
    // Before the dialog is loaded its fields hold their first values.
    out.interval = 6000;
    if (plugin.DialogExists()) {
      Form1& form = plugin.Dialog();
      out.dTargetDate = ToAutomationDate(form.dTargetDate);
      out.dTargetTime = ToAutomationDate(form.dTargetTime);
      out.calendarSelection = ToAutomationDate(form.CalendarSelection());
      out.nFullTicks = form.Schedule().nFullTicks;
      out.nRestSeconds = form.Schedule().nRestSeconds;
      out.nTicksLeft = form.Schedule().nTicksLeft;
      out.interval = form.timCount().Interval();
      out.timerOn = form.timCount().Enabled() ? VARIANT_TRUE : VARIANT_FALSE;
    }
    out.sNick = nick.release();
    out.sDelayCode = delayCode.release();
    *state = out;
    return S_OK;
  });
}

extern "C" HRESULT WINAPI VelmoraSeamDialogShown(VARIANT_BOOL* shown) {
  if (!shown) return E_POINTER;
  return Guarded([&] {
    Plugin& plugin = PluginOfThisThread();
    *shown = plugin.DialogExists() && plugin.Dialog().Shown() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  });
}

extern "C" HRESULT WINAPI VelmoraSeamGetControl(LPCWSTR name, VelmoraSeamControl* control) {
  if (!name || !control) return E_POINTER;
  return Guarded([&] {
    const std::optional<ControlId> id = ControlByName(FromWide(name));
    if (!id) return E_INVALIDARG;
    const ControlState& state = PluginOfThisThread().Dialog().Control(*id);
    UniqueBstr text = ToBstr(state.text);
    if (!text) return E_OUTOFMEMORY;
    control->text = text.release();
    control->selStart = state.selStart;
    control->selLength = state.selLength;
    control->row = state.row;
    control->visible = state.visible ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  });
}

extern "C" HRESULT WINAPI VelmoraSeamFailNextName(LONG number, LPCWSTR description) {
  return Guarded([&] {
    ThisTestThread().names.FailNext(VelmoraError(number, description ? FromWide(description) : std::u16string{}));
    return S_OK;
  });
}
