#include "dialog/form1.h"

#include <string>

#include "support/plugin_fixture.h"

namespace velmora {
namespace {

using testing::At;
using testing::PluginTest;

// Loading, OK, Cancel and the close box are the acceptance scripts' (first_use, configure_ok,
// configure_cancel, ok_count_type, damaged_store, stored_delay_codes); here what they cannot
// reach: a caret the real field reports, and regional forms that change between runs.
TEST_F(PluginTest, AnEditReportedWithItsCaretKeepsTheCaretWhereTheFieldLeftIt) {
  Initialize();
  plugin.Configure();
  // A real field reports the caret after the user's edit; the model keeps it, clamped.
  const struct {
    std::optional<std::int32_t> caret;
    std::int32_t expected;
  } cases[] = {{2, 2}, {std::nullopt, 5}, {99, 5}, {-1, 0}};
  for (const auto& edit : cases) {
    Form().UserSetText(ControlId::Text2, u"ab%cd", edit.caret);
    EXPECT_EQ(Control(ControlId::Text2).selStart, edit.expected) << "caret " << edit.caret.value_or(-100);
    EXPECT_EQ(Control(ControlId::Text2).selLength, 0);
  }
  EXPECT_EQ(plugin.State().sNick, u"ab%cd");
}

// The user's regional forms change between two runs (another machine, another language):
// the target OK stored reads back as the same day and time, shown in the forms of the day.
TEST_F(PluginTest, TheStoredTargetOutlivesAChangeOfRegionalForms) {
  env.regional.germanDates = true;
  Store(u"ToDate", u"24.12.2026");  // as an earlier version stored it under these forms
  Store(u"ToTime", u"20:05:00");
  Initialize();
  EXPECT_EQ(IsoDateText(Form().dTargetDate), u"2026-12-24");
  EXPECT_EQ(Control(ControlId::txtDate).text, u"24.12.2026");
  plugin.Configure();
  Form().UserSelectRow(ControlId::Combo1, 1);
  Form().UserClick(ControlId::cmdOk);
  EXPECT_EQ(Stored(u"ToDate"), u"2026-12-24");
  EXPECT_EQ(Stored(u"ToTime"), u"20:05:00");

  for (const bool german : {false, true}) {
    env.regional.germanDates = german;
    Plugin later{env.Make()};
    ASSERT_TRUE(later.Initialize(1, testing::kEmail));
    EXPECT_EQ(IsoDateText(later.Dialog().dTargetDate), u"2026-12-24") << "German forms: " << german;
    EXPECT_EQ(IsoTimeText(later.Dialog().dTargetTime), u"20:05:00") << "German forms: " << german;
    EXPECT_EQ(later.Dialog().Control(ControlId::txtDate).text, german ? u"24.12.2026" : u"2026-12-24");
  }
}

// A delay code an earlier version stored with the user's decimal comma reads as its fraction
// only where the comma is the separator; OK writes it with the point, and keeps every other
// code exactly as it was.
TEST_F(PluginTest, OkWritesAnEarlierVersionsRegionalFractionWithThePoint) {
  const struct {
    char16_t separator;
    const char16_t* stored;
    const char16_t* afterOk;
    std::int32_t seconds;
  } cases[] = {
      {u',', u"2,5", u"2.5", 2},        {u',', u"1,5E1", u"1.5E1", 15}, {u',', u" 7,5 s", u" 7.5 s", 8},
      {u',', u"2,0", u"2,0", 2},        {u',', u"7.5", u"7.5", 8},      {u',', u"1m", u"1m", 60},
      {u'.', u"2,5", u"2,5", 2},        {u'.', u"7.5", u"7.5", 8},
  };
  Initialize();
  for (const auto& c : cases) {
    env.regional.separator = c.separator;
    Store(u"Interval", c.stored);
    plugin.Configure();
    Form().UserClick(ControlId::cmdCancel);
    plugin.Configure();
    Form().UserSelectRow(ControlId::Combo1, 0);
    Form().UserClick(ControlId::cmdOk);
    const std::string what = "\"" + ToUtf8(c.stored) + "\" under '" + static_cast<char>(c.separator) + "'";
    EXPECT_EQ(Stored(u"Interval"), std::u16string{c.afterOk}) << what;
    EXPECT_EQ(plugin.State().nDelaySeconds, c.seconds) << what;
  }
}

}  // namespace
}  // namespace velmora
