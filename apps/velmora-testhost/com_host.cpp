#include "com_host.h"

#include <string>

#include "automation_date.h"
#include "base/error.h"
#include "dispatch_call.h"
#include "error_number.h"
#include "raii.h"
#include "settings/settings_store.h"
#include "text_win32.h"
#include "timer_win32.h"

namespace velmora::testhost {

namespace {

void Check(HRESULT hr, std::u16string_view what) {
  if (FAILED(hr)) throw VelmoraError(win32::HresultToErrorNumber(hr), std::u16string{what});
}

DateTime DateOf(DATE date) { return win32::FromAutomationDate(date).value_or(DateTime{}); }

BOOL CALLBACK FindTimerWindow(HWND window, LPARAM found) {
  wchar_t className[32] = {};
  ::GetClassNameW(window, className, static_cast<int>(std::size(className)));
  if (::lstrcmpW(className, win32::kTimerWindowClass) != 0) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

// Sends the plug-in's timer window what the system sends every top-level window. There is
// none while the counter is off, and then there is nobody to tell.
void NotifyTimerWindow(UINT message, WPARAM wParam) {
  HWND window = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), &FindTimerWindow, reinterpret_cast<LPARAM>(&window));
  if (!window) return;
  // A message-only window would never hear the system: that is a fault of the plug-in.
  if (::GetAncestor(window, GA_PARENT) != ::GetDesktopWindow()) {
    throw VelmoraError(5, u"the plug-in's timer window is not a top-level window");
  }
  ::SendMessageW(window, message, wParam, 0);
}

}  // namespace

ComHost::ComHost(Microsoft::WRL::ComPtr<IDispatch> plugin, const Seam& seam, script::ScriptOutput& output,
                 std::u16string componentName)
    : plugin_(std::move(plugin)), seam_(seam), output_(output), componentName_(std::move(componentName)) {}

script::CallOutcome ComHost::Call(const script::Operation& operation, std::vector<script::Argument>& arguments) {
  const script::Answer answer = CallByName(*plugin_.Get(), operation, arguments);
  if (operation.name != "Configure" || !FormVisible()) return {answer};
  // Configure's modal loop gave way to the script's end with the dialog still shown: its
  // answer is reported only if the dialog hides after all.
  ++openConfigures_;
  return {answer, false};
}

void ComHost::ReportFinishedConfigure() {
  if (openConfigures_ == 0 || FormVisible()) return;
  for (; openConfigures_ > 0; --openConfigures_) output_.Returned(*script::FindOperation("Configure"), {}, {});
}

DialogDriver ComHost::Window(std::string_view action) {
  VelmoraSeamControl loaded{};
  Check(seam_.GetControl(L"cmdOk", &loaded), u"loading the dialog failed");
  const win32::UniqueBstr text{loaded.text};
  const HWND dialog = DialogDriver::FindWindow();
  if (!dialog) {
    throw Unsupported(std::string(action) +
                      " acts on the configuration window, which Velmora makes when Configure first shows it");
  }
  return DialogDriver(dialog);
}

script::Refusal ComHost::Click(ControlId control, std::optional<std::int32_t> caret) {
  return Window("Click").Click(control, caret);
}
script::Refusal ComHost::Focus(ControlId control) { return Window("Focus").Focus(control); }
script::Refusal ComHost::SetText(ControlId control, std::u16string_view text) {
  return Window("SetText").SetText(control, text);
}
script::Refusal ComHost::Select(ControlId control, std::int32_t row) { return Window("Select").Select(control, row); }
script::Refusal ComHost::Type(ControlId control, std::u16string_view characters) {
  return Window("Type").Type(control, characters);
}
script::Refusal ComHost::KeyDown(ControlId control, std::int32_t keyCode) {
  return Window("KeyDown").KeyDown(control, keyCode);
}
script::Refusal ComHost::Spin(ControlId spin, bool up) { return Window("Spin").Spin(spin, up); }
script::Refusal ComHost::Pick(DateTime date) { return Window("Pick").Pick(date); }
script::Refusal ComHost::Close() {
  Window("Close").Close();
  return std::nullopt;
}

void ComHost::SetClock(DateTime now) { Check(seam_.SetClock(win32::ToAutomationDate(now)), u"setting the virtual clock failed"); }

void ComHost::Advance(std::int64_t milliseconds) { Check(seam_.Advance(milliseconds), u"advancing the virtual clock failed"); }

void ComHost::Resume(std::int64_t milliseconds) {
  Check(seam_.Sleep(milliseconds), u"moving the virtual clock failed");
  NotifyTimerWindow(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC);
}

void ComHost::SystemTimeChange(DateTime now) {
  Check(seam_.SetClock(win32::ToAutomationDate(now)), u"setting the virtual clock failed");
  NotifyTimerWindow(WM_TIMECHANGE, 0);
}

script::StateSnapshot ComHost::State() {
  VelmoraSeamState state{};
  Check(seam_.GetState(&state), u"reading the plug-in state failed");
  const win32::UniqueBstr nick{state.sNick};
  const win32::UniqueBstr delayCode{state.sDelayCode};
  script::StateSnapshot snapshot;
  snapshot.sNick = win32::FromBstr(nick.get());
  snapshot.nCountType = state.nCountType;
  snapshot.bEnabled = state.bEnabled != VARIANT_FALSE;
  snapshot.sDelayCode = win32::FromBstr(delayCode.get());
  snapshot.nDelaySeconds = state.nDelaySeconds;
  snapshot.dTargetDate = DateOf(state.dTargetDate);
  snapshot.dTargetTime = DateOf(state.dTargetTime);
  snapshot.nFullTicks = state.nFullTicks;
  snapshot.nRestSeconds = state.nRestSeconds;
  snapshot.nTicksLeft = state.nTicksLeft;
  snapshot.interval = state.interval;
  snapshot.timerOn = state.timerOn != VARIANT_FALSE;
  return snapshot;
}

ControlState ComHost::Control(ControlId control) {
  // What the window shows, once there is one; before that, what the dialog model holds.
  if (const HWND dialog = DialogDriver::FindWindow()) return DialogDriver(dialog).Read(control);
  const std::wstring name = win32::ToWide(Info(control).name);
  VelmoraSeamControl state{};
  Check(seam_.GetControl(name.c_str(), &state), u"reading a control failed");
  const win32::UniqueBstr text{state.text};
  ControlState result;
  result.text = win32::FromBstr(text.get());
  result.selStart = state.selStart;
  result.selLength = state.selLength;
  result.row = state.row;
  result.visible = state.visible != VARIANT_FALSE;
  // The window may be made by the load this read caused.
  if (const HWND dialog = DialogDriver::FindWindow()) return DialogDriver(dialog).Read(control);
  return result;
}

bool ComHost::FormVisible() {
  if (const HWND dialog = DialogDriver::FindWindow()) return DialogDriver(dialog).Visible();
  VARIANT_BOOL shown = VARIANT_FALSE;
  Check(seam_.DialogShown(&shown), u"reading the dialog's visibility failed");
  return shown != VARIANT_FALSE;
}

std::optional<RegistryValue> ComHost::Stored(std::u16string_view userEmail, std::u16string_view name) {
  return registry_.QueryValue(RegistryRoot::kCurrentUser, SettingsKeyPath(userEmail, componentName_), name);
}

void ComHost::SetStored(std::u16string_view userEmail, std::u16string_view name, const RegistryValue& value) {
  registry_.SetValue(RegistryRoot::kCurrentUser, SettingsKeyPath(userEmail, componentName_), name, value);
}

}  // namespace velmora::testhost
