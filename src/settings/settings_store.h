#pragma once
// The per-user settings, kept as string values of one registry key per e-mail address.
#include <string>
#include <string_view>

#include "base/value.h"
#include "ports/regional.h"
#include "ports/registry.h"

namespace velmora {

inline constexpr std::u16string_view kKeyEnable = u"Enable";
inline constexpr std::u16string_view kKeyNick = u"Nick";
inline constexpr std::u16string_view kKeyType = u"Type";
inline constexpr std::u16string_view kKeyToDate = u"ToDate";
inline constexpr std::u16string_view kKeyToTime = u"ToTime";
inline constexpr std::u16string_view kKeyInterval = u"Interval";
inline constexpr std::u16string_view kKeyRepeat = u"Repeat";
inline constexpr std::u16string_view kKeyNickDone = u"NickDone";

// "Software\Tevrand\Pelmar2\<email>\Preferences\Plugins\<component>.dll"
std::u16string SettingsKeyPath(std::u16string_view userEmail, std::u16string_view componentName);

// The stored text of a value: "True"/"False", decimal digits, the text unchanged, or the
// regional text of a date or time.
std::u16string StoredText(const Value& value, const Regional& regional);

void SaveString(Registry& registry, RegistryRoot root, std::u16string_view keyPath,
                std::u16string_view valueName, std::u16string_view text);
// The stored plain string up to its first NUL, or `defaultValue` unchanged when the value
// is missing, empty, of another type or unreadable.
Value GetString(const Registry& registry, RegistryRoot root, std::u16string_view keyPath,
                std::u16string_view valueName, const Value& defaultValue);

class SettingsStore {
 public:
  // `userEmail` is read anew on every call, so the location follows the plug-in state.
  SettingsStore(Registry& registry, const Regional& regional, const std::u16string& userEmail,
                std::u16string componentName);

  [[nodiscard]] std::u16string KeyPath() const;
  void SaveSetting(std::u16string_view key, const Value& value);
  [[nodiscard]] Value GetSetting(std::u16string_view key, const Value& defaultValue) const;

  [[nodiscard]] Registry& Store() const { return registry_; }

 private:
  Registry& registry_;
  const Regional& regional_;
  const std::u16string& userEmail_;
  std::u16string componentName_;
};

}  // namespace velmora
