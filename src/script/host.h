#pragma once
// What a host offers the script runner. The development host drives the core in process;
// the Windows host drives the real component through automation. Each implements these
// operations its own way; the runner parses, checks and prints the same for both.
//
// Failures of the plug-in (a host call, a dialog handler) are thrown as VelmoraError;
// an action no user could perform now is answered with a refusal text instead.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/date_time.h"
#include "ports/controls.h"
#include "ports/registry.h"
#include "script/commands.h"
#include "script/format.h"

namespace velmora::script {

using Refusal = std::optional<std::u16string>;

struct CallOutcome {
  Answer answer;
  // False while the call is still running, as Configure does while its dialog is shown:
  // the host reports the answer through ScriptOutput::Returned when the call ends.
  bool returned = true;
};

class ScriptHost {
 public:
  virtual ~ScriptHost() = default;

  // Calls one operation; `arguments` hold every parameter in interface order and come back
  // with the in/out parameters as the operation left them.
  virtual CallOutcome Call(const Operation& operation, std::vector<Argument>& arguments) = 0;

  // Dialog actions; each loads the dialog first when it is not loaded. Like the user's
  // click they stand for, Click, SetText, Select and Pick give their control the keyboard
  // focus first; Type, KeyDown and Spin leave the focus where it is.
  virtual Refusal Click(ControlId control, std::optional<std::int32_t> caret) = 0;
  virtual Refusal Focus(ControlId control) = 0;
  virtual Refusal SetText(ControlId control, std::u16string_view text) = 0;
  virtual Refusal Select(ControlId control, std::int32_t row) = 0;
  // Each character as a keyboard delivers it, with the key code of KeyCodeFor.
  virtual Refusal Type(ControlId control, std::u16string_view characters) = 0;
  virtual Refusal KeyDown(ControlId control, std::int32_t keyCode) = 0;
  virtual Refusal Spin(ControlId spin, bool up) = 0;
  virtual Refusal Pick(DateTime date) = 0;
  virtual Refusal Close() = 0;

  // The clock; only a host on virtual time can set it or move it.
  [[nodiscard]] virtual bool HasVirtualClock() const = 0;
  virtual void SetClock(DateTime now) = 0;
  virtual void Advance(std::int64_t milliseconds) = 0;
  // The machine slept: the clock moves on with no tick on the way, then the system's
  // resume notification reaches the plug-in.
  virtual void Resume(std::int64_t milliseconds) = 0;
  // The system clock was set: the clock jumps to `now`, no tick fires, then the system's
  // time-change notification reaches the plug-in.
  virtual void SystemTimeChange(DateTime now) = 0;

  // Inspection. State does not load the dialog; Control does, as any use of a control would.
  virtual StateSnapshot State() = 0;
  virtual ControlState Control(ControlId control) = 0;
  virtual bool FormVisible() = 0;

  // The store, at the settings key of `userEmail`.
  virtual std::optional<RegistryValue> Stored(std::u16string_view userEmail, std::u16string_view name) = 0;
  virtual void SetStored(std::u16string_view userEmail, std::u16string_view name, const RegistryValue& value) = 0;
};

}  // namespace velmora::script
