#pragma once
// The commands of the host script language: the nine host calls with the plug-in
// interface's parameter lists, the clock, the dialog actions, inspection and the store.
// Parsing checks every argument, so a command that reaches a host is well-formed.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/date_time.h"
#include "ports/controls.h"
#include "script/format.h"
#include "script/lexer.h"

namespace velmora::script {

enum class ParameterKind { kInt32, kString, kObject };

struct Parameter {
  std::string_view name;
  ParameterKind kind;
  bool inOut;
};

enum class AnswerKind { kBoolean, kVariant };

// One operation of the plug-in interface, parameters in interface order. Object
// parameters are not written in a script; a host passes nothing for them.
struct Operation {
  std::string_view name;
  AnswerKind answer;
  std::vector<Parameter> parameters;
};

const std::vector<Operation>& Operations();
const Operation* FindOperation(std::string_view name);

enum class Verb {
  kCall,
  kClock,
  kAdvance,
  kResume,
  kSystemTimeChange,
  kClick,
  kFocus,
  kSetText,
  kSelect,
  kType,
  kKeyDown,
  kSpin,
  kPick,
  kClose,
  kPrintState,
  kPrintControl,
  kPrintForm,
  kStored,
  kSetStored,
  kSetStoredType,
};

struct Command {
  Verb verb = Verb::kCall;
  std::string name;                   // the command word as written
  const Operation* operation = nullptr;
  std::vector<Argument> arguments;    // host calls: every parameter in interface order
  ControlId control = ControlId::cmdOk;
  std::optional<std::int32_t> number; // caret, row, key code or value type
  std::u16string text;                // SetText / Type text, stored value text
  std::u16string key;                 // stored value name
  DateTime when;                      // Clock, SystemTimeChange, Pick
  std::int64_t milliseconds = 0;      // Advance, Resume
  bool up = false;                    // Spin
};

// The command of a tokenized line; throws SyntaxError when the line is malformed.
Command ParseCommandLine(std::span<const Token> tokens);

}  // namespace velmora::script
