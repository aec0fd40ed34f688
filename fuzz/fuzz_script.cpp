// The host script parser: any bytes either parse or are refused at a line that does not
// parse on its own, with every line before it parsing; and any text a host prints in quotes
// reads back, as a script argument, as exactly that text.
#include <sstream>
#include <vector>

#include "fuzz_support.h"
#include "script/format.h"
#include "script/lexer.h"
#include "script/runner.h"

namespace velmora::fuzz {
namespace {

using script::SyntaxError;

std::vector<std::string> ScriptLines(const std::string& bytes) {
  std::istringstream in{bytes};
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  if (!lines.empty() && lines.front().starts_with("\xEF\xBB\xBF")) lines.front().erase(0, 3);
  return lines;
}

// nullopt when the line parses, else the parser's complaint.
std::optional<std::string> Complaint(const std::string& line) {
  try {
    script::ParseLine(line);
    return std::nullopt;
  } catch (const SyntaxError& error) {
    return std::string{error.what()};
  }
}

void CheckScript(const std::string& bytes) {
  const std::vector<std::string> lines = ScriptLines(bytes);
  std::vector<script::ParsedLine> parsed;
  script::ScriptError error;
  bool ok = false;
  try {
    std::istringstream in{bytes};
    ok = script::ParseScript(in, parsed, error);
  } catch (const std::exception& escaped) {
    FUZZ_CHECK(false, std::string{"the parser let an exception escape: "} + escaped.what());
  }
  const std::size_t checked = ok ? lines.size() : error.lineNumber - 1;
  if (!ok) {
    FUZZ_CHECK(error.lineNumber >= 1 && error.lineNumber <= lines.size(),
               "refused at line " + std::to_string(error.lineNumber) + " of " + std::to_string(lines.size()));
    FUZZ_CHECK(!error.message.empty(), "refused line " + std::to_string(error.lineNumber) + " without a reason");
    FUZZ_CHECK(Complaint(lines[error.lineNumber - 1]).has_value(),
               "line " + std::to_string(error.lineNumber) + " " + Shown(lines[error.lineNumber - 1]) +
                   " was refused in the script but parses alone");
  }
  std::size_t commands = 0;
  for (std::size_t i = 0; i < checked; ++i) {
    const auto complaint = Complaint(lines[i]);
    FUZZ_CHECK(!complaint, "line " + std::to_string(i + 1) + " " + Shown(lines[i]) + " was accepted in the script but alone: " +
                               complaint.value_or(""));
    if (!script::Tokenize(lines[i]).empty()) ++commands;
  }
  FUZZ_CHECK(parsed.size() == commands,
             std::to_string(parsed.size()) + " commands parsed from " + std::to_string(commands) + " command lines");
  for (std::size_t i = 0; i < parsed.size(); ++i) {
    FUZZ_CHECK(parsed[i].lineNumber >= 1 && parsed[i].lineNumber <= checked &&
                   (i == 0 || parsed[i].lineNumber > parsed[i - 1].lineNumber),
               "command " + std::to_string(i) + " has line number " + std::to_string(parsed[i].lineNumber));
  }
}

void CheckQuotedText(std::u16string_view text) {
  const std::string line = "SetText Text2 " + script::Quote(text);
  try {
    const std::vector<script::Token> tokens = script::Tokenize(line);
    FUZZ_CHECK(tokens.size() == 3 && tokens[2].quoted && tokens[2].text == text,
               Shown(text) + " printed as " + Shown(line) + " reads back as " +
                   (tokens.size() == 3 ? Shown(tokens[2].text) : std::to_string(tokens.size()) + " tokens"));
    const std::optional<script::Command> command = script::ParseLine(line);
    FUZZ_CHECK(command && command->verb == script::Verb::kSetText && command->text == text,
               Shown(line) + " is not the SetText of " + Shown(text));
  } catch (const SyntaxError& error) {
    FUZZ_CHECK(false, Shown(text) + " printed as " + Shown(line) + " is refused: " + error.what());
  }
}

}  // namespace
}  // namespace velmora::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes{reinterpret_cast<const char*>(data), size};
  velmora::fuzz::CheckScript(bytes);
  velmora::fuzz::CheckQuotedText(velmora::fuzz::UnitsFromBytes(bytes));
  return 0;
}
