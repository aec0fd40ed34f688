#include "support/test_platform.h"

#include "settings/settings_store.h"
#include "virtual/virtual_platform.h"

namespace velmora::testing {

DateTime At(int year, unsigned month, unsigned day, int hours, int minutes, int seconds) {
  return DateTime::Combine(
      DateTime::FromDate(std::chrono::year{year} / std::chrono::month{month} / std::chrono::day{day}),
      DateTime::FromTimeOfDay(hours, minutes, seconds));
}

TestPlatform::TestPlatform(DateTime start) : time(start) {}

Platform TestPlatform::Make() {
  Platform platform = VirtualPlatform(time, registry, regional, host);
  platform.makeView = [this](Form1&) {
    auto view = std::make_unique<RecordingView>();
    view_ = view.get();
    return view;
  };
  return platform;
}

void TestPlatform::Store(std::u16string_view email, std::u16string_view key, std::u16string_view text) {
  registry.SetValue(RegistryRoot::kCurrentUser, SettingsKeyPath(email, u"Velmora"), key,
                    RegistryValue{kRegSz, std::u16string{text}});
}

std::optional<std::u16string> TestPlatform::Stored(std::u16string_view email, std::u16string_view key) const {
  auto value = registry.QueryValue(RegistryRoot::kCurrentUser, SettingsKeyPath(email, u"Velmora"), key);
  if (!value) return std::nullopt;
  return value->data;
}

}  // namespace velmora::testing
