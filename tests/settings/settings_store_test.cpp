#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <tuple>

#include "base/text.h"
#include "settings/conversions.h"
#include "support/test_platform.h"

namespace velmora {
namespace {

using testing::At;

class SettingsStoreTest : public ::testing::Test {
 protected:
  MemoryRegistry registry;
  FixedRegional regional;
  std::u16string email = u"ann@example.com";
  SettingsStore store{registry, regional, email, u"Velmora"};

  void Put(std::u16string_view key, RegistryValue value) {
    registry.SetValue(RegistryRoot::kCurrentUser, store.KeyPath(), key, value);
  }
};

TEST_F(SettingsStoreTest, KeyPathPutsTheAddressBetweenHostAndPluginKeys) {
  EXPECT_EQ(store.KeyPath(), u"Software\\Tevrand\\Pelmar2\\ann@example.com\\Preferences\\Plugins\\Velmora.dll");
}

TEST_F(SettingsStoreTest, UnusableValuesGiveTheDefaultInItsOwnType) {
  Put(u"Empty", {kRegSz, u""});
  Put(u"Number", {kRegDword, u"7"});
  Put(u"Expandable", {kRegExpandSz, u"%HOME%"});
  const Value defaults[] = {Value{false}, Value{std::int32_t{0}}, Value{std::u16string{u"1m"}},
                            Value{At(2026, 5, 1)}};
  for (const char16_t* key : {u"Missing", u"Empty", u"Number", u"Expandable"}) {
    for (const Value& fallback : defaults) {
      EXPECT_EQ(store.GetSetting(key, fallback), fallback) << "key " << ToUtf8(key);
    }
  }
}

TEST_F(SettingsStoreTest, WritesTheTextFormOfEachKindOfValue) {
  store.SaveSetting(u"Enable", true);
  store.SaveSetting(u"Off", false);
  store.SaveSetting(u"Type", std::int32_t{0});
  store.SaveSetting(u"ToDate", At(2026, 3, 1));
  store.SaveSetting(u"ToTime", DateTime::FromTimeOfDay(0, 0, 0));
  store.SaveSetting(u"Nick", std::u16string{u"%d day[ds] ✓"});
  const std::pair<const char16_t*, const char16_t*> expected[] = {
      {u"Enable", u"True"},       {u"Off", u"False"},        {u"Type", u"0"},
      {u"ToDate", u"2026-03-01"}, {u"ToTime", u"00:00:00"}, {u"Nick", u"%d day[ds] ✓"}};
  for (const auto& [key, text] : expected) {
    EXPECT_EQ(store.GetSetting(key, false), Value{std::u16string{text}}) << ToUtf8(key);
  }
}

TEST_F(SettingsStoreTest, FirstWriteCreatesTheWholePathAndAddressesStayApart) {
  EXPECT_FALSE(registry.KeyExists(u"Software\\Tevrand\\Pelmar2"));
  store.SaveSetting(u"Nick", std::u16string{u"ann's"});
  EXPECT_TRUE(registry.KeyExists(u"Software\\Tevrand\\Pelmar2"));
  EXPECT_TRUE(registry.KeyExists(u"Software\\Tevrand\\Pelmar2\\ann@example.com\\Preferences"));

  email = u"bob@example.com";  // the store follows the address it was given
  EXPECT_EQ(store.GetSetting(u"Nick", std::u16string{}), Value{std::u16string{}});
  store.SaveSetting(u"Nick", std::u16string{u"bob's"});
  email = u"ann@example.com";
  EXPECT_EQ(store.GetSetting(u"Nick", std::u16string{}), Value{std::u16string{u"ann's"}});
}

TEST_F(SettingsStoreTest, TextAfterAStoredNulIsNotRead) {
  Put(u"Nick", {kRegSz, std::u16string{u"abc\0def", 7}});
  EXPECT_EQ(store.GetSetting(u"Nick", std::u16string{}), Value{std::u16string{u"abc"}});
  Put(u"Nick", {kRegSz, std::u16string{u"\0def", 4}});
  EXPECT_EQ(store.GetSetting(u"Nick", std::int32_t{5}), Value{std::int32_t{5}});
}

TEST_F(SettingsStoreTest, LongValuesReadBackWhole) {
  const std::u16string longText(70000, u'x');
  store.SaveSetting(u"Nick", longText);
  EXPECT_EQ(store.GetSetting(u"Nick", std::u16string{}), Value{longText});
}

TEST(SettingConversions, BooleanWordsAndNumbers) {
  const std::pair<Value, std::optional<bool>> cases[] = {
      {std::u16string{u"True"}, true},  {std::u16string{u"false"}, false}, {std::u16string{u" TRUE "}, true},
      {std::u16string{u"0"}, false},    {std::u16string{u"-1"}, true},     {std::u16string{u"2.5"}, true},
      {std::u16string{u"yes"}, std::nullopt}, {std::u16string{u"1x"}, std::nullopt},
      {false, false},                   {std::int32_t{3}, true},
  };
  for (const auto& [value, expected] : cases) {
    EXPECT_EQ(ToBoolean(value), expected) << ToUtf8(std::get_if<std::u16string>(&value) ? std::get<std::u16string>(value) : u"(non-text)");
  }
}

TEST(SettingConversions, CountTypeMustNameARowOrNone) {
  const std::pair<const char16_t*, std::optional<std::int16_t>> cases[] = {
      {u"0", 0}, {u"1", 1}, {u"2", 2}, {u"1.5", 2}, {u"2.5", 2}, {u"0.5", 0},
      {u"3", std::nullopt}, {u"-1", std::nullopt}, {u"40000", std::nullopt}, {u"two", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(ToCountType(std::u16string{text}), expected) << ToUtf8(text);
  }
  EXPECT_EQ(ToCountType(std::int32_t{0}), std::optional<std::int16_t>{0});
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
