#include "script/runner.h"

#include "base/error.h"

namespace velmora::script {

void ScriptRunner::Execute(const Command& command) {
  try {
    switch (command.verb) {
      case Verb::kCall: Call(command); return;
      case Verb::kClock:
      case Verb::kAdvance:
      case Verb::kResume:
      case Verb::kSystemTimeChange:
        if (!host_.HasVirtualClock()) throw SyntaxError(command.name + " needs the virtual clock of script mode");
        MoveClock(command);
        return;
      case Verb::kClick: Report(host_.Click(command.control, command.number)); return;
      case Verb::kFocus: Report(host_.Focus(command.control)); return;
      case Verb::kSetText: Report(host_.SetText(command.control, command.text)); return;
      case Verb::kSelect: Report(host_.Select(command.control, *command.number)); return;
      case Verb::kType: Report(host_.Type(command.control, command.text)); return;
      case Verb::kKeyDown: Report(host_.KeyDown(command.control, *command.number)); return;
      case Verb::kSpin: Report(host_.Spin(command.control, command.up)); return;
      case Verb::kPick: Report(host_.Pick(command.when)); return;
      case Verb::kClose: Report(host_.Close()); return;
      case Verb::kPrintState: output_.Line(StateLine(host_.State())); return;
      case Verb::kPrintControl: output_.Line(ControlLine(command.control, host_.Control(command.control))); return;
      case Verb::kPrintForm: output_.Line(FormLine(host_.FormVisible())); return;
      case Verb::kStored: output_.Stored(command.key, host_.Stored(userEmail_, command.key)); return;
      case Verb::kSetStored: host_.SetStored(userEmail_, command.key, {kRegSz, command.text}); return;
      case Verb::kSetStoredType:
        host_.SetStored(userEmail_, command.key, {static_cast<std::uint32_t>(*command.number), command.text});
        return;
    }
  } catch (const VelmoraError& error) {
    output_.Failed(command.name, error);
  }
}

void ScriptRunner::Call(const Command& command) {
  const Operation& operation = *command.operation;
  if (operation.name == "Initialize") userEmail_ = std::get<std::u16string>(command.arguments[1]);
  std::vector<Argument> arguments = command.arguments;
  const CallOutcome outcome = host_.Call(operation, arguments);
  if (outcome.returned) output_.Returned(operation, outcome.answer, arguments);
}

void ScriptRunner::MoveClock(const Command& command) {
  switch (command.verb) {
    case Verb::kClock: host_.SetClock(command.when); return;
    case Verb::kAdvance: host_.Advance(command.milliseconds); return;
    case Verb::kResume: host_.Resume(command.milliseconds); return;
    case Verb::kSystemTimeChange: host_.SystemTimeChange(command.when); return;
    default: return;
  }
}

void ScriptRunner::Report(const Refusal& refusal) {
  if (refusal) output_.Refused(*refusal);
}

std::optional<Command> ParseLine(std::string_view line) {
  const std::vector<Token> tokens = Tokenize(line);
  if (tokens.empty()) return std::nullopt;
  return ParseCommandLine(tokens);
}

bool ParseScript(std::istream& in, std::vector<ParsedLine>& lines, ScriptError& error) {
  std::string line;
  for (std::size_t number = 1; std::getline(in, line); ++number) {
    // A byte-order mark before the first line is not part of the command.
    if (number == 1 && line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);
    try {
      if (auto command = ParseLine(line)) lines.push_back({number, std::move(*command)});
    } catch (const SyntaxError& syntax) {
      error = {number, syntax.what()};
      return false;
    }
  }
  return true;
}

}  // namespace velmora::script
