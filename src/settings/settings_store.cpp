#include "settings/settings_store.h"

#include "base/text.h"

namespace velmora {

std::u16string SettingsKeyPath(std::u16string_view userEmail, std::u16string_view componentName) {
  std::u16string path = u"Software\\Tevrand\\Pelmar2\\";
  path += userEmail;
  path += u"\\Preferences\\Plugins\\";
  path += componentName;
  path += u".dll";
  return path;
}

std::u16string StoredText(const Value& value, const Regional& regional) {
  struct Visitor {
    const Regional& regional;
    std::u16string operator()(bool flag) const { return flag ? u"True" : u"False"; }
    std::u16string operator()(std::int32_t number) const { return DecimalText(number); }
    std::u16string operator()(const std::u16string& text) const { return text; }
    std::u16string operator()(DateTime when) const { return regional.DateTimeToText(when); }
  };
  return std::visit(Visitor{regional}, value);
}

void SaveString(Registry& registry, RegistryRoot root, std::u16string_view keyPath,
                std::u16string_view valueName, std::u16string_view text) {
  registry.SetValue(root, keyPath, valueName, RegistryValue{kRegSz, std::u16string{text}});
}

Value GetString(const Registry& registry, RegistryRoot root, std::u16string_view keyPath,
                std::u16string_view valueName, const Value& defaultValue) {
  const std::optional<RegistryValue> stored = registry.QueryValue(root, keyPath, valueName);
  if (!stored || stored->type != kRegSz) return defaultValue;
  // Another tool may have stored a terminating NUL with characters after it.
  std::u16string text = stored->data.substr(0, stored->data.find(u'\0'));
  if (text.empty()) return defaultValue;
  return text;
}

SettingsStore::SettingsStore(Registry& registry, const Regional& regional,
                             const std::u16string& userEmail, std::u16string componentName)
    : registry_(registry), regional_(regional), userEmail_(userEmail),
      componentName_(std::move(componentName)) {}

std::u16string SettingsStore::KeyPath() const { return SettingsKeyPath(userEmail_, componentName_); }

void SettingsStore::SaveSetting(std::u16string_view key, const Value& value) {
  SaveString(registry_, RegistryRoot::kCurrentUser, KeyPath(), key, StoredText(value, regional_));
}

Value SettingsStore::GetSetting(std::u16string_view key, const Value& defaultValue) const {
  return GetString(registry_, RegistryRoot::kCurrentUser, KeyPath(), key, defaultValue);
}

}  // namespace velmora
