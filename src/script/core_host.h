#pragma once
// The script host of the development host: the core itself, in process, with a headless
// dialog. Nicknames, message boxes and the end of Configure are printed as they happen;
// a failing timer tick is printed and the timer goes on, as the next tick would.
#include <functional>
#include <memory>

#include "plugin/plugin.h"
#include "script/host.h"
#include "script/output.h"
#include "virtual/virtual_time.h"

namespace velmora::script {

class CoreHost : public ScriptHost {
 public:
  struct Ports {
    Clock* clock = nullptr;
    const Regional* regional = nullptr;
    Registry* registry = nullptr;
    std::function<std::unique_ptr<Timer>()> makeTimer;
    // Set when the clock is virtual: Clock and Advance then act on it.
    VirtualTime* virtualTime = nullptr;
  };

  CoreHost(ScriptOutput& output, Ports ports);
  ~CoreHost() override;

  Plugin& plugin() { return *plugin_; }

  CallOutcome Call(const Operation& operation, std::vector<Argument>& arguments) override;

  Refusal Click(ControlId control, std::optional<std::int32_t> caret) override;
  Refusal Focus(ControlId control) override;
  Refusal SetText(ControlId control, std::u16string_view text) override;
  Refusal Select(ControlId control, std::int32_t row) override;
  Refusal Type(ControlId control, std::u16string_view characters) override;
  Refusal KeyDown(ControlId control, std::int32_t keyCode) override;
  Refusal Spin(ControlId spin, bool up) override;
  Refusal Pick(DateTime date) override;
  Refusal Close() override;

  [[nodiscard]] bool HasVirtualClock() const override { return ports_.virtualTime != nullptr; }
  void SetClock(DateTime now) override;
  void Advance(std::int64_t milliseconds) override;
  void Resume(std::int64_t milliseconds) override;
  void SystemTimeChange(DateTime now) override;

  StateSnapshot State() override;
  ControlState Control(ControlId control) override;
  bool FormVisible() override;

  std::optional<RegistryValue> Stored(std::u16string_view userEmail, std::u16string_view name) override;
  void SetStored(std::u16string_view userEmail, std::u16string_view name, const RegistryValue& value) override;

 private:
  class Channel;
  Form1& Dialog() { return plugin_->Dialog(); }
  void DialogHidden();

  ScriptOutput& output_;
  Ports ports_;
  std::unique_ptr<Channel> channel_;
  std::unique_ptr<Plugin> plugin_;
  int openConfigures_ = 0;  // Configure calls whose dialog is still shown
};

}  // namespace velmora::script
