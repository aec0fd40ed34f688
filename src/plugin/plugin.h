#pragma once
// The plug-in object's nine operations, as the host calls them.
//
// Host contract: the host creates the object and calls it on one thread; the dialog's
// events and the timer's ticks arrive on that same thread, between calls and, while
// Configure shows the dialog, inside Configure. In/out parameters are references the
// operation may write; nothing else is kept from them. A failure the host should see is
// thrown as VelmoraError. Each thread that uses the component has its own Plugin.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "dialog/form1.h"
#include "ports/platform.h"
#include "state/plugin_state.h"
#include "settings/settings_store.h"

namespace velmora {

inline constexpr std::u16string_view kPublishedName = u"Zorvane By Kestrilo";

class Plugin {
 public:
  explicit Plugin(Platform platform);
  ~Plugin();

  bool Initialize(std::int32_t nVersion, std::u16string_view sUserEmail);
  void Uninitialize();
  void Configure();
  bool GetPublishInfo(std::u16string& sPluginName, std::int32_t& nCommandCount,
                      std::int32_t& nTagCount);
  void GetPublishCommandInfo(std::int32_t nCommandIdx, std::u16string& sName,
                             std::u16string& sValue, std::u16string& sHelp);
  void GetPublishTagInfo(std::int32_t nTagIdx, std::u16string& sName, std::u16string& sValue);
  bool ParseCommand(std::u16string_view sCommand, std::u16string_view sCommandArg,
                    std::u16string& sResult);
  bool ParseTag(std::u16string_view sTag, std::u16string& sResult);
  bool ReceiveNotify(std::u16string_view sNotifyCode, std::u16string_view sText,
                     std::u16string_view sContactName, std::u16string& sTextToSend);

  // The system resumed from sleep, or its clock or time zone was set: while the counter
  // runs, the nickname is published again at once, since the last one was computed against
  // the old time and the next refresh may be a day away. The tick countdown goes on as it
  // stands. Hosts call this on the thread of the other operations.
  void ClockJumped();

  [[nodiscard]] const PluginState& State() const { return state_; }
  [[nodiscard]] SettingsStore& Settings() { return settings_; }
  // The dialog, created and loaded at its first use.
  Form1& Dialog();
  [[nodiscard]] bool DialogExists() const { return form_ != nullptr; }

 private:
  Platform platform_;
  PluginState state_;
  SettingsStore settings_;
  std::unique_ptr<Form1> form_;
};

}  // namespace velmora
