#include "script/core_host.h"

#include "base/error.h"
#include "base/text.h"
#include "script/headless_editing.h"
#include "script/headless_view.h"
#include "script/key_codes.h"
#include "script/state_snapshot.h"
#include "settings/settings_store.h"

namespace velmora::script {

namespace {
constexpr std::u16string_view kComponentName = u"Velmora";

// Prints a failing tick instead of letting it escape the event loop.
class ReportingTimer : public Timer {
 public:
  ReportingTimer(std::unique_ptr<Timer> inner, ScriptOutput& output) : inner_(std::move(inner)), output_(output) {}
  void SetHandler(std::function<void()> onTick) override {
    inner_->SetHandler([this, onTick = std::move(onTick)] {
      try {
        onTick();
      } catch (const VelmoraError& error) {
        output_.Failed("timCount", error);
      }
    });
  }
  void SetInterval(std::int32_t milliseconds) override { inner_->SetInterval(milliseconds); }
  [[nodiscard]] std::int32_t Interval() const override { return inner_->Interval(); }
  void SetEnabled(bool enabled) override { inner_->SetEnabled(enabled); }
  [[nodiscard]] bool Enabled() const override { return inner_->Enabled(); }

 private:
  std::unique_ptr<Timer> inner_;
  ScriptOutput& output_;
};

std::u16string& Text(std::vector<Argument>& arguments, std::size_t index) {
  return std::get<std::u16string>(arguments[index]);
}
std::int32_t& Number(std::vector<Argument>& arguments, std::size_t index) {
  return std::get<std::int32_t>(arguments[index]);
}

std::u16string Name(ControlId control) { return std::u16string{Info(control).name}; }

// Runs a user's action on `control`; no user can act on a control that is not visible.
template <typename Action>
Refusal IfShown(const Form1& form, ControlId control, Action action) {
  if (!form.Control(control).visible) return Name(control) + u" is hidden";
  return action();
}
}  // namespace

class CoreHost::Channel : public NameChannel {
 public:
  explicit Channel(ScriptOutput& output) : output_(output) {}
  bool SetName(std::u16string_view text) override {
    output_.SetName(text);
    return true;
  }

 private:
  ScriptOutput& output_;
};

CoreHost::CoreHost(ScriptOutput& output, Ports ports)
    : output_(output), ports_(std::move(ports)), channel_(std::make_unique<Channel>(output)) {
  Platform platform;
  platform.clock = ports_.clock;
  platform.regional = ports_.regional;
  platform.registry = ports_.registry;
  platform.nameChannel = channel_.get();
  platform.makeTimer = [this] { return std::make_unique<ReportingTimer>(ports_.makeTimer(), output_); };
  platform.makeView = [this](Form1&) -> std::unique_ptr<DialogView> {
    return std::make_unique<HeadlessView>(HeadlessView::Events{
        [this] { DialogHidden(); },
        [this](std::u16string_view title, std::u16string_view text, MessageIcon icon) {
          output_.MsgBox(title, icon, text);
        }});
  };
  platform.componentName = std::u16string{kComponentName};
  plugin_ = std::make_unique<Plugin>(std::move(platform));
}

CoreHost::~CoreHost() = default;

void CoreHost::DialogHidden() {
  if (openConfigures_ == 0) return;
  --openConfigures_;
  output_.Returned(*FindOperation("Configure"), Answer{}, {});
}

CallOutcome CoreHost::Call(const Operation& operation, std::vector<Argument>& a) {
  Plugin& p = *plugin_;
  const std::string_view name = operation.name;
  if (name == "Initialize") return {p.Initialize(Number(a, 0), Text(a, 1))};
  if (name == "Uninitialize") {
    p.Uninitialize();
    return {};
  }
  if (name == "Configure") {
    ++openConfigures_;
    try {
      p.Configure();
    } catch (const VelmoraError&) {
      --openConfigures_;
      throw;
    }
    return {Answer{}, false};
  }
  if (name == "GetPublishInfo") return {p.GetPublishInfo(Text(a, 0), Number(a, 1), Number(a, 2))};
  if (name == "GetPublishCommandInfo") {
    p.GetPublishCommandInfo(Number(a, 0), Text(a, 1), Text(a, 2), Text(a, 3));
    return {};
  }
  if (name == "GetPublishTagInfo") {
    p.GetPublishTagInfo(Number(a, 0), Text(a, 1), Text(a, 2));
    return {};
  }
  if (name == "ParseCommand") return {p.ParseCommand(Text(a, 0), Text(a, 1), Text(a, 3))};
  if (name == "ParseTag") return {p.ParseTag(Text(a, 0), Text(a, 2))};
  if (name == "ReceiveNotify") return {p.ReceiveNotify(Text(a, 0), Text(a, 1), Text(a, 2), Text(a, 4))};
  throw VelmoraError(438, u"Object doesn't support this property or method");
}

Refusal CoreHost::Click(ControlId control, std::optional<std::int32_t> caret) {
  Form1& form = Dialog();
  return IfShown(form, control, [&]() -> Refusal {
    if (control != ControlId::txtTime) {
      form.UserClick(control);
      return std::nullopt;
    }
    const ControlState& field = form.Control(control);
    const std::int32_t at = caret.value_or(field.selStart);
    if (at < 0 || at > static_cast<std::int32_t>(field.text.size())) {
      return u"txtTime has no caret position " + DecimalText(at);
    }
    form.UserClick(control, at);
    return std::nullopt;
  });
}

Refusal CoreHost::Focus(ControlId control) {
  Form1& form = Dialog();
  return IfShown(form, control, [&] { form.UserFocus(control); return Refusal{}; });
}

Refusal CoreHost::SetText(ControlId control, std::u16string_view text) {
  Form1& form = Dialog();
  return IfShown(form, control, [&] {
    form.UserFocus(control);
    form.UserSetText(control, text);
    return Refusal{};
  });
}

Refusal CoreHost::Select(ControlId control, std::int32_t row) {
  Form1& form = Dialog();
  return IfShown(form, control, [&]() -> Refusal {
    if (row < 0 || row >= static_cast<std::int32_t>(form.Control(control).rows.size())) {
      return Name(control) + u" has no row " + DecimalText(row);
    }
    form.UserFocus(control);
    form.UserSelectRow(control, row);
    return std::nullopt;
  });
}

Refusal CoreHost::Type(ControlId control, std::u16string_view characters) {
  Form1& form = Dialog();
  return IfShown(form, control, [&] {
    for (const char16_t character : characters) TypeCharacter(form, control, character, KeyCodeFor(character));
    return Refusal{};
  });
}

Refusal CoreHost::KeyDown(ControlId control, std::int32_t keyCode) {
  Form1& form = Dialog();
  return IfShown(form, control, [&] { PressKey(form, control, keyCode); return Refusal{}; });
}

Refusal CoreHost::Spin(ControlId spin, bool up) {
  Form1& form = Dialog();
  return IfShown(form, spin, [&] { form.UserSpin(spin, up); return Refusal{}; });
}

Refusal CoreHost::Pick(DateTime date) {
  Form1& form = Dialog();
  // The click that picks the date gives the calendar the focus first, as it does on screen.
  if (form.Control(ControlId::calDate).visible) form.UserFocus(ControlId::calDate);
  return form.UserPickDate(date);
}

Refusal CoreHost::Close() {
  Dialog().UserClose();
  return std::nullopt;
}

void CoreHost::SetClock(DateTime now) { ports_.virtualTime->SetClock(now); }

void CoreHost::Advance(std::int64_t milliseconds) { ports_.virtualTime->Advance(milliseconds); }

void CoreHost::Resume(std::int64_t milliseconds) {
  ports_.virtualTime->Sleep(milliseconds);
  plugin_->ClockJumped();
}

void CoreHost::SystemTimeChange(DateTime now) {
  ports_.virtualTime->SetClock(now);
  plugin_->ClockJumped();
}

StateSnapshot CoreHost::State() { return SnapshotOf(*plugin_); }

ControlState CoreHost::Control(ControlId control) { return Dialog().Control(control); }

bool CoreHost::FormVisible() { return plugin_->DialogExists() && Dialog().Shown(); }

std::optional<RegistryValue> CoreHost::Stored(std::u16string_view userEmail, std::u16string_view name) {
  return ports_.registry->QueryValue(RegistryRoot::kCurrentUser, SettingsKeyPath(userEmail, kComponentName), name);
}

void CoreHost::SetStored(std::u16string_view userEmail, std::u16string_view name, const RegistryValue& value) {
  ports_.registry->SetValue(RegistryRoot::kCurrentUser, SettingsKeyPath(userEmail, kComponentName), name, value);
}

}  // namespace velmora::script
