#include "support/test_platform.h"

#include <cstdio>

#include "base/text.h"
#include "settings/settings_store.h"
#include "virtual/virtual_platform.h"

namespace velmora::testing {

DateTime At(int year, unsigned month, unsigned day, int hours, int minutes, int seconds) {
  return DateTime::Combine(
      DateTime::FromDate(std::chrono::year{year} / std::chrono::month{month} / std::chrono::day{day}),
      DateTime::FromTimeOfDay(hours, minutes, seconds));
}

std::u16string TestRegional::DateTimeToText(DateTime value) const {
  if (!germanDates || !value.HasDate() || value.HasTime()) return FixedRegional::DateTimeToText(value);
  const auto ymd = value.Ymd();
  return DecimalText(static_cast<unsigned>(ymd.day())) + u"." + DecimalText(static_cast<unsigned>(ymd.month())) +
         u"." + DecimalText(static_cast<int>(ymd.year()));
}

std::optional<DateTime> TestRegional::TextToDateTime(std::u16string_view text) const {
  if (!germanDates) return FixedRegional::TextToDateTime(text);
  const std::string narrow = ToUtf8(text);
  unsigned day = 0, month = 0;
  int year = 0, used = 0;
  if (std::sscanf(narrow.c_str(), "%u.%u.%d%n", &day, &month, &year, &used) == 3 &&
      static_cast<std::size_t>(used) == narrow.size()) {
    const std::chrono::year_month_day ymd{std::chrono::year{year}, std::chrono::month{month}, std::chrono::day{day}};
    if (ymd.ok()) return DateTime::FromDate(ymd);
    return std::nullopt;
  }
  return ParseIsoTime(text);
}

TestPlatform::TestPlatform(DateTime start) : time(start) {}

Platform TestPlatform::Make() { return VirtualPlatform(time, registry, regional, host); }

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
