#pragma once
// The script host of velmora-testhost: VelmoraTest.dll, created by its ProgID and
// called by name through IDispatch, on virtual time through the DLL's private seam, with
// the settings in this user's real registry.
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include "dialog_driver.h"
#include "registry_win32.h"
#include "script/host.h"
#include "script/lexer.h"
#include "script/output.h"
#include "seam.h"

namespace velmora::testhost {

// A command this host cannot perform: a dialog action before the configuration window exists.
class Unsupported : public script::SyntaxError {
 public:
  using script::SyntaxError::SyntaxError;
};

class ComHost : public script::ScriptHost {
 public:
  // `componentName` is the DLL's file name without extension; it names the settings key.
  ComHost(Microsoft::WRL::ComPtr<IDispatch> plugin, const Seam& seam, script::ScriptOutput& output,
          std::u16string componentName);

  script::CallOutcome Call(const script::Operation& operation, std::vector<script::Argument>& arguments) override;

  script::Refusal Click(ControlId control, std::optional<std::int32_t> caret) override;
  script::Refusal Focus(ControlId control) override;
  script::Refusal SetText(ControlId control, std::u16string_view text) override;
  script::Refusal Select(ControlId control, std::int32_t row) override;
  script::Refusal Type(ControlId control, std::u16string_view characters) override;
  script::Refusal KeyDown(ControlId control, std::int32_t keyCode) override;
  script::Refusal Spin(ControlId spin, bool up) override;
  script::Refusal Pick(DateTime date) override;
  script::Refusal Close() override;

  [[nodiscard]] bool HasVirtualClock() const override { return true; }
  void SetClock(DateTime now) override;
  void Advance(std::int64_t milliseconds) override;
  void Resume(std::int64_t milliseconds) override;
  void SystemTimeChange(DateTime now) override;

  script::StateSnapshot State() override;
  ControlState Control(ControlId control) override;
  bool FormVisible() override;

  std::optional<RegistryValue> Stored(std::u16string_view userEmail, std::u16string_view name) override;
  void SetStored(std::u16string_view userEmail, std::u16string_view name, const RegistryValue& value) override;

  // After every command: a Configure whose dialog has been hidden since returns now.
  void ReportFinishedConfigure();

 private:
  // The configuration window, the dialog loaded first as any first use loads it.
  DialogDriver Window(std::string_view action);

  Microsoft::WRL::ComPtr<IDispatch> plugin_;
  const Seam& seam_;
  script::ScriptOutput& output_;
  std::u16string componentName_;
  win32::WindowsRegistry registry_;
  int openConfigures_ = 0;
};

}  // namespace velmora::testhost
