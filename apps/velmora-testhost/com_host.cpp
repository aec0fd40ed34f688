#include "com_host.h"

#include <string>

#include "automation_date.h"
#include "base/error.h"
#include "dispatch_call.h"
#include "error_number.h"
#include "raii.h"
#include "settings/settings_store.h"
#include "text_win32.h"

namespace velmora::testhost {

namespace {

void Check(HRESULT hr, std::u16string_view what) {
  if (FAILED(hr)) throw VelmoraError(win32::HresultToErrorNumber(hr), std::u16string{what});
}

DateTime DateOf(DATE date) { return win32::FromAutomationDate(date).value_or(DateTime{}); }

}  // namespace

ComHost::ComHost(Microsoft::WRL::ComPtr<IDispatch> plugin, const Seam& seam, script::ScriptOutput& output,
                 std::u16string componentName)
    : plugin_(std::move(plugin)), seam_(seam), output_(output), componentName_(std::move(componentName)) {}

script::CallOutcome ComHost::Call(const script::Operation& operation, std::vector<script::Argument>& arguments) {
  const script::Answer answer = CallByName(*plugin_.Get(), operation, arguments);
  if (operation.name != "Configure" || !FormVisible()) return {answer};
  // The dialog stays shown after the call returned: its answer is reported once it hides.
  ++openConfigures_;
  return {answer, false};
}

void ComHost::ReportFinishedConfigure() {
  if (openConfigures_ == 0 || FormVisible()) return;
  for (; openConfigures_ > 0; --openConfigures_) output_.Returned(*script::FindOperation("Configure"), {}, {});
}

void ComHost::NeedsWindow(std::string_view action) {
  throw Unsupported(std::string(action) +
                    " acts on the configuration window, which velmora-testhost cannot drive yet");
}

script::Refusal ComHost::Click(ControlId, std::optional<std::int32_t>) { NeedsWindow("Click"); }
script::Refusal ComHost::Focus(ControlId) { NeedsWindow("Focus"); }
script::Refusal ComHost::SetText(ControlId, std::u16string_view) { NeedsWindow("SetText"); }
script::Refusal ComHost::Select(ControlId, std::int32_t) { NeedsWindow("Select"); }
script::Refusal ComHost::Type(ControlId, std::u16string_view) { NeedsWindow("Type"); }
script::Refusal ComHost::KeyDown(ControlId, std::int32_t) { NeedsWindow("KeyDown"); }
script::Refusal ComHost::Spin(ControlId, bool) { NeedsWindow("Spin"); }
script::Refusal ComHost::Pick(DateTime) { NeedsWindow("Pick"); }
script::Refusal ComHost::Close() { NeedsWindow("Close"); }

void ComHost::SetClock(DateTime now) { Check(seam_.SetClock(win32::ToAutomationDate(now)), u"setting the virtual clock failed"); }

void ComHost::Advance(std::int64_t milliseconds) { Check(seam_.Advance(milliseconds), u"advancing the virtual clock failed"); }

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
  return result;
}

bool ComHost::FormVisible() {
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
