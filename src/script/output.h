#pragma once
// The lines a host prints while a script runs. Each line starts with its tag word.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "ports/dialog_view.h"
#include "ports/registry.h"
#include "script/commands.h"
#include "script/format.h"

namespace velmora::script {

class ScriptOutput {
 public:
  using LineWriter = std::function<void(std::string_view line)>;
  explicit ScriptOutput(LineWriter write) : write_(std::move(write)) {}
  virtual ~ScriptOutput() = default;

  void Line(std::string_view line) { write_(line); }

  // SetName "<text>": the plug-in handed a nickname to the host.
  virtual void SetName(std::u16string_view text);
  // MsgBox title="<t>" icon=<none|information> text="<text>"
  virtual void MsgBox(std::u16string_view title, MessageIcon icon, std::u16string_view text);
  // <Operation> -> <answer> name=value ... for every in/out parameter, in order.
  void Returned(const Operation& operation, const Answer& answer, const std::vector<Argument>& arguments);
  // <what> -> Error <number> "<description>"
  void Failed(std::string_view what, const VelmoraError& error);
  // Refused "<why>"
  void Refused(std::u16string_view why);
  // Stored <key>="<text>" / Stored <key> missing / Stored <key> type=<n>
  void Stored(std::u16string_view key, const std::optional<RegistryValue>& value);

 private:
  LineWriter write_;
};

}  // namespace velmora::script
