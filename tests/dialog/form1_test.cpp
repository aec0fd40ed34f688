#include "dialog/form1.h"

#include <string>

#include "support/plugin_fixture.h"

namespace velmora {
namespace {

using testing::At;
using testing::PluginTest;

TEST_F(PluginTest, AStoredEnabledCounterPublishesDuringInitialize) {
  Store(u"Enable", u"True");
  Store(u"Nick", u"%d day[ds] left");
  Store(u"Type", u"2");
  Store(u"ToDate", u"2026-01-03");
  Store(u"ToTime", u"00:00:00");
  Store(u"Interval", u"45");
  Initialize();
  EXPECT_EQ(env.host.names, std::vector<std::u16string>{u"2 days left"});
  EXPECT_EQ(Control(ControlId::cmdEnable).text, u"Disable");
  EXPECT_EQ(Control(ControlId::Combo1).text, u"Count Down");
  EXPECT_EQ(Control(ControlId::cmbDelay).text, u"45 Seconds");
  EXPECT_EQ(Control(ControlId::cmbDelay).row, -1);
  EXPECT_EQ(Control(ControlId::Text9).text, u"2 days left");
  EXPECT_EQ(Form().Schedule().nRestSeconds, 15);
  Advance(45);
  EXPECT_EQ(env.host.names.size(), 2u);
}

TEST_F(PluginTest, CancelAndCloseRestoreEveryEditButNotTheSwitch) {
  Store(u"Nick", u"%d");
  Store(u"Type", u"2");
  Store(u"ToDate", u"2026-01-11");
  Initialize();
  for (const bool viaCloseBox : {false, true}) {
    plugin.Configure();
    Form().UserSetText(ControlId::Text2, u"edited %d");
    Form().UserSelectRow(ControlId::Combo1, 0);
    Form().UserSpin(ControlId::udDate, true);
    ASSERT_EQ(Form().UserPickDate(At(2026, 2, 1)), std::nullopt);
    Form().UserClick(ControlId::cmdEnable);
    viaCloseBox ? Form().UserClose() : Form().UserClick(ControlId::cmdCancel);
    EXPECT_FALSE(Form().Shown());
    EXPECT_EQ(plugin.State().sNick, u"%d");
    EXPECT_EQ(Control(ControlId::Text2).text, u"%d");
    EXPECT_EQ(plugin.State().nCountType, 2);
    EXPECT_EQ(Form().dTargetDate, At(2026, 1, 11));
    EXPECT_EQ(Control(ControlId::Text9).text, u"10");
  }
  // The switch was stored at each click: on, then off again.
  EXPECT_EQ(Stored(u"Enable"), u"False");
  // Enable then Cancel publishes twice: the edited template at the switch, then the stored
  // one at the reload.
  EXPECT_EQ(env.host.names, (std::vector<std::u16string>{u"edited -31", u"10"}));
}

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
