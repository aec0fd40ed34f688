// The private seam's exports; test_seam.h describes them.
#include "test_seam.h"

#include "automation_date.h"
#include "com_error.h"
#include "text_win32.h"
#include "thread_platform.h"

using namespace velmora;
using namespace velmora::win32;

extern "C" HRESULT WINAPI VelmoraSeamUseVirtualTime(DATE start) {
  return Guarded([&] {
    const auto when = FromAutomationDate(start);
    if (!when) return E_INVALIDARG;
    return UseVirtualTime(*when) ? S_OK : E_ILLEGAL_METHOD_CALL;
  });
}

extern "C" HRESULT WINAPI VelmoraSeamSetClock(DATE now) {
  return Guarded([&] {
    VirtualTime* time = VirtualTimeOfThisThread();
    if (!time) return E_ILLEGAL_METHOD_CALL;
    const auto when = FromAutomationDate(now);
    if (!when) return E_INVALIDARG;
    time->SetClock(*when);
    return S_OK;
  });
}

extern "C" HRESULT WINAPI VelmoraSeamAdvance(LONGLONG milliseconds) {
  return Guarded([&] {
    VirtualTime* time = VirtualTimeOfThisThread();
    if (!time) return E_ILLEGAL_METHOD_CALL;
    if (milliseconds < 0) return E_INVALIDARG;
    time->Advance(milliseconds);
    return S_OK;
  });
}

extern "C" HRESULT WINAPI VelmoraSeamSleep(LONGLONG milliseconds) {
  return Guarded([&] {
    VirtualTime* time = VirtualTimeOfThisThread();
    if (!time) return E_ILLEGAL_METHOD_CALL;
    if (milliseconds < 0) return E_INVALIDARG;
    time->Sleep(milliseconds);
    return S_OK;
  });
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

extern "C" HRESULT WINAPI VelmoraSeamFailNextCall(LONG number, LPCWSTR description) {
  return Guarded([&] {
    InjectFailure(VelmoraError(number, description ? FromWide(description) : std::u16string{}));
    return S_OK;
  });
}
