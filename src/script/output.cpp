#include "script/output.h"

#include <algorithm>

#include "base/text.h"

namespace velmora::script {

void ScriptOutput::SetName(std::u16string_view text) { Line("SetName " + Quote(text)); }

void ScriptOutput::MsgBox(std::u16string_view title, MessageIcon icon, std::u16string_view text) {
  Line("MsgBox title=" + Quote(title) + " icon=" + IconText(icon) + " text=" + Quote(text));
}

void ScriptOutput::Returned(const Operation& operation, const Answer& answer,
                            const std::vector<Argument>& arguments) {
  std::string line = std::string(operation.name) + " -> " + AnswerText(answer);
  for (std::size_t i = 0; i < operation.parameters.size() && i < arguments.size(); ++i) {
    if (!operation.parameters[i].inOut) continue;
    line += " " + std::string(operation.parameters[i].name) + "=" + ArgumentText(arguments[i]);
  }
  Line(line);
}

void ScriptOutput::Failed(std::string_view what, const VelmoraError& error) {
  Line(std::string(what) + " -> Error " + std::to_string(error.Number()) + " " + Quote(error.Description()));
}

void ScriptOutput::Refused(std::u16string_view why) { Line("Refused " + Quote(why)); }

namespace {
// A value name as the script wrote it: bare when it reads back as one word, else quoted.
std::string KeyText(std::u16string_view key) {
  const bool bare = !key.empty() && std::all_of(key.begin(), key.end(), [](char16_t c) {
    return c > u' ' && c != 0x7F && c != u'"' && c != u'\\' && !IsSurrogate(c);
  });
  return bare ? ToUtf8(key) : Quote(key);
}
}  // namespace

void ScriptOutput::Stored(std::u16string_view key, const std::optional<RegistryValue>& value) {
  const std::string name = "Stored " + KeyText(key);
  if (!value) {
    Line(name + " missing");
  } else if (value->type == kRegSz) {
    Line(name + "=" + Quote(value->data));
  } else {
    Line(name + " type=" + std::to_string(value->type));
  }
}

}  // namespace velmora::script
