#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <tuple>

#include "base/text.h"
#include "settings/conversions.h"
#include "support/test_platform.h"

namespace velmora {
namespace {

using testing::At;

// What each stored text converts to is the damaged_store script's, on both hosts.
class SettingsStoreTest : public ::testing::Test {
 protected:
  MemoryRegistry registry;
  FixedRegional regional;
  std::u16string email = u"ann@example.com";
  SettingsStore store{registry, regional, email, u"Velmora"};
};

TEST_F(SettingsStoreTest, KeyPathPutsTheAddressBetweenHostAndPluginKeys) {
  EXPECT_EQ(store.KeyPath(), u"Software\\Tevrand\\Pelmar2\\ann@example.com\\Preferences\\Plugins\\Velmora.dll");
}

TEST_F(SettingsStoreTest, LongValuesReadBackWhole) {
  const std::u16string longText(70000, u'x');
  store.SaveSetting(u"Nick", longText);
  EXPECT_EQ(store.GetSetting(u"Nick", std::u16string{}), Value{longText});
}

// A user's regional reader that reads its own forms, and reads the fixed forms wrongly.
struct MonthFirstRegional : Regional {
  [[nodiscard]] std::u16string DateTimeToText(DateTime) const override { return {}; }
  [[nodiscard]] std::optional<DateTime> TextToDateTime(std::u16string_view text) const override {
    if (text == u"12/1/2026") return At(2026, 12, 1);
    if (text == u"8:05:00 PM") return DateTime::FromTimeOfDay(20, 5, 0);
    if (text == u"2026-12-01") return At(2026, 1, 12);
    if (text == u"20:05:00") return DateTime::FromTimeOfDay(8, 5, 0);
    return std::nullopt;
  }
  [[nodiscard]] char16_t DecimalSeparator() const override { return u'.'; }
};

TEST(SettingConversions, TheTargetReadsInTheFixedFormsFirstThenTheUsersOwn) {
  const MonthFirstRegional regional;
  const std::optional<DateTime> none;
  const std::tuple<const char16_t*, std::optional<DateTime>, std::optional<DateTime>> cases[] = {
      // text, as a date, as a time of day
      {u"2026-12-01", At(2026, 12, 1), At(2026, 1, 12)},
      {u"12/1/2026", At(2026, 12, 1), At(2026, 12, 1)},
      {u"20:05:00", DateTime::FromTimeOfDay(8, 5, 0), DateTime::FromTimeOfDay(20, 5, 0)},
      {u"8:05:00 PM", DateTime::FromTimeOfDay(20, 5, 0), DateTime::FromTimeOfDay(20, 5, 0)},
      {u"2026-02-30", none, none},
      {u"24:00:00", none, none},
      {u"2026-12-01 ", none, none},
      {u"1899-12-31", none, none},
      {u"0050-01-01", none, none},
      {u"1900-01-01", At(1900, 1, 1), none},
      {u"9999-12-31", At(9999, 12, 31), none},
  };
  const auto shown = [](std::optional<DateTime> value) {
    return value ? ToUtf8(IsoDateText(*value) + u" " + IsoTimeText(*value)) : std::string{"nothing"};
  };
  for (const auto& [text, date, time] : cases) {
    EXPECT_EQ(shown(ToTargetDate(std::u16string{text}, regional)), shown(date)) << "date " << ToUtf8(text);
    EXPECT_EQ(shown(ToTargetTime(std::u16string{text}, regional)), shown(time)) << "time " << ToUtf8(text);
  }
  EXPECT_EQ(ToTargetDate(At(2020, 1, 2), regional), std::optional{At(2020, 1, 2)});
}

}  // namespace
}  // namespace velmora
