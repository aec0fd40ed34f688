#pragma once
// How host-script output writes values, so every host prints the same line for the same
// event.
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "base/date_time.h"
#include "ports/controls.h"
#include "ports/dialog_view.h"

namespace velmora::script {

// A text in double quotes: \" \\ \r \n \t escaped, other control characters and lone
// surrogates as \uXXXX, everything else as UTF-8.
std::string Quote(std::u16string_view text);
// A text as a messenger shows it on one line: UTF-8, with control characters and lone
// surrogates as \uXXXX so nothing breaks the line.
std::string DisplayText(std::u16string_view text);
std::string BoolText(bool value);          // True / False
std::string DateText(DateTime value);      // YYYY-MM-DD of the calendar date
std::string TimeText(DateTime value);      // HH:MM:SS of the time of day
std::string IconText(MessageIcon icon);    // none / information

// What a host call answered: nothing (Empty), a Boolean, a number or a text.
using Answer = std::variant<std::monostate, bool, std::int32_t, std::u16string>;
// A host call's argument; std::monostate stands for an object passed as nothing.
using Argument = std::variant<std::monostate, std::int32_t, std::u16string>;
std::string AnswerText(const Answer& answer);
std::string ArgumentText(const Argument& argument);

// What `Print state` shows: the shared plug-in state and the dialog's fields and timer.
struct StateSnapshot {
  std::u16string sNick;
  std::int32_t nCountType = 0;
  bool bEnabled = false;
  std::u16string sDelayCode;
  std::int32_t nDelaySeconds = 0;
  // The dialog's fields; before the dialog is loaded they hold their initial values.
  DateTime dTargetDate;
  DateTime dTargetTime;
  std::int32_t nFullTicks = 0;
  std::int32_t nRestSeconds = 0;
  std::int32_t nTicksLeft = 0;
  std::int32_t interval = 6000;  // the timer's design-time interval
  bool timerOn = false;
};
std::string StateLine(const StateSnapshot& state);

// `Print <control>`: the line for the control's kind (text box, time field, list,
// button or label, calendar). Spin controls have no line.
std::string ControlLine(ControlId control, const ControlState& state);
bool HasControlLine(ControlId control);
std::string FormLine(bool visible);

}  // namespace velmora::script
