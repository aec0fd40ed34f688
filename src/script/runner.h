#pragma once
// Runs host-script commands against a ScriptHost and prints what happens.
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "script/commands.h"
#include "script/host.h"
#include "script/output.h"

namespace velmora::script {

class ScriptRunner {
 public:
  ScriptRunner(ScriptHost& host, ScriptOutput& output) : host_(host), output_(output) {}

  // Runs one command. A failure of the plug-in is printed, never thrown; a command the
  // host cannot run at all (the clock commands without a virtual clock) throws SyntaxError.
  void Execute(const Command& command);

 private:
  void Call(const Command& command);
  void MoveClock(const Command& command);
  void Report(const Refusal& refusal);

  ScriptHost& host_;
  ScriptOutput& output_;
  // The e-mail address of the last Initialize; it selects the key of Stored and SetStored.
  std::u16string userEmail_;
};

struct ParsedLine {
  std::size_t lineNumber = 0;
  Command command;
};

struct ScriptError {
  std::size_t lineNumber = 0;
  std::string message;
};

// Reads a whole script. Malformed lines are found before anything runs, so a broken
// script changes nothing; the first one is returned in `error`.
bool ParseScript(std::istream& in, std::vector<ParsedLine>& lines, ScriptError& error);

// The tokens of one line parsed as a command; nullopt for a blank or comment line.
std::optional<Command> ParseLine(std::string_view line);

}  // namespace velmora::script
