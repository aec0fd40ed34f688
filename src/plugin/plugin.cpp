#include "plugin/plugin.h"

#include "base/text.h"

namespace velmora {

namespace {

struct PublishedCommand {
  std::u16string_view name;
  std::u16string_view value;
};
constexpr PublishedCommand kCommands[] = {
    {u"Enable", u"xcntenable"},
    {u"Disable", u"xcntdisable"},
    {u"Set Counter Nickname", u"xcntsetnick"},
};

}  // namespace

Plugin::Plugin(Platform platform)
    : platform_(std::move(platform)),
      settings_(*platform_.registry, *platform_.regional, state_.sUserEmail, platform_.componentName) {}

Plugin::~Plugin() = default;

Form1& Plugin::Dialog() {
  if (!form_) form_ = std::make_unique<Form1>(state_, settings_, platform_);
  form_->Load();
  return *form_;
}

bool Plugin::Initialize(std::int32_t, std::u16string_view sUserEmail) {
  // The address comes first: it selects where the settings are read from.
  state_.sUserEmail = sUserEmail;
  Dialog();
  return true;
}

void Plugin::Uninitialize() {}

void Plugin::Configure() { Dialog().ShowModal(); }

bool Plugin::GetPublishInfo(std::u16string& sPluginName, std::int32_t& nCommandCount,
                            std::int32_t&) {
  sPluginName = kPublishedName;
  nCommandCount = static_cast<std::int32_t>(std::size(kCommands));
  return true;
}

void Plugin::GetPublishCommandInfo(std::int32_t nCommandIdx, std::u16string& sName,
                                   std::u16string& sValue, std::u16string&) {
  if (nCommandIdx < 1 || nCommandIdx > static_cast<std::int32_t>(std::size(kCommands))) return;
  const PublishedCommand& command = kCommands[nCommandIdx - 1];
  sName = command.name;
  sValue = command.value;
}

void Plugin::GetPublishTagInfo(std::int32_t nTagIdx, std::u16string& sName, std::u16string& sValue) {
  if (nTagIdx != 1) return;
  sName = u"Counter";
  sValue = u"(!XCOUNT)";
}

bool Plugin::ParseCommand(std::u16string_view sCommand, std::u16string_view sCommandArg,
                          std::u16string&) {
  const std::u16string command = AsciiLower(sCommand);
  const bool enable = command == u"/xcntenable";
  const bool disable = command == u"/xcntdisable";
  const bool setNick = command == u"/xcntsetnick";
  if (!enable && !disable && !setNick) return false;

  // The dialog loads its stored settings when first used; that must happen before the
  // command changes them, or the load would undo the command.
  Form1& form = Dialog();
  if (enable || disable) {
    state_.bEnabled = enable;
    form.timCount().SetEnabled(enable);
    settings_.SaveSetting(kKeyEnable, state_.bEnabled);
    if (enable) platform_.nameChannel->SetName(form.UpdateNick());
    return true;
  }
  state_.sNick = sCommandArg;
  form.SetTemplateText(state_.sNick);
  settings_.SaveSetting(kKeyNick, state_.sNick);
  platform_.nameChannel->SetName(form.UpdateNick());
  return true;
}

void Plugin::ClockJumped() {
  // The counter runs only in a loaded dialog; a jump never loads it.
  if (!form_ || !form_->Loaded() || !state_.bEnabled) return;
  platform_.nameChannel->SetName(form_->UpdateNick());
}

bool Plugin::ParseTag(std::u16string_view, std::u16string&) { return false; }

bool Plugin::ReceiveNotify(std::u16string_view, std::u16string_view, std::u16string_view,
                           std::u16string&) {
  return false;
}

}  // namespace velmora
