#include "dialog/form1.h"

#include <string>

#include "support/plugin_fixture.h"

namespace velmora {
namespace {

using testing::At;
using testing::PluginTest;

TEST_F(PluginTest, FirstUseWithNothingStored) {
  env.time.SetClock(At(2026, 4, 5, 13, 14, 15));
  Initialize();
  const PluginState& state = plugin.State();
  EXPECT_FALSE(state.bEnabled);
  EXPECT_EQ(state.sNick, u"");
  EXPECT_EQ(state.nCountType, 0);
  EXPECT_EQ(state.sDelayCode, u"1m");
  EXPECT_EQ(state.nDelaySeconds, 60);
  EXPECT_EQ(Form().Schedule().nFullTicks, 2);
  EXPECT_EQ(Form().timCount().Interval(), 30000);
  EXPECT_FALSE(Form().timCount().Enabled());
  EXPECT_EQ(Control(ControlId::Combo1).row, -1);
  EXPECT_EQ(Control(ControlId::Combo1).text, u"Choose Count Type");
  EXPECT_EQ(Control(ControlId::cmbDelay).text, u"1 Minute");
  EXPECT_EQ(Control(ControlId::cmdEnable).text, u"Enable");
  EXPECT_EQ(Control(ControlId::txtDateTime).text, u"2026-04-05 13:14:15");
  EXPECT_EQ(Control(ControlId::txtDate).text, u"2026-04-05");
  EXPECT_EQ(Control(ControlId::txtTime).text, u"13:14:15");
  EXPECT_FALSE(Control(ControlId::calDate).visible);
  EXPECT_EQ(Control(ControlId::Label2).text,
            u"Enter your nickname here\r\nDouble Click here for help on using the different tags!");
  EXPECT_TRUE(env.host.names.empty());
  EXPECT_FALSE(Form().Shown());
}

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

TEST_F(PluginTest, DamagedStoredValuesFallBackToEachKeysDefault) {
  env.time.SetClock(At(2026, 6, 7, 8, 9, 10));
  Store(u"Enable", u"maybe");
  Store(u"Nick", u"%h");
  Store(u"Type", u"7");
  Store(u"ToDate", u"not a date");
  Store(u"ToTime", u"25:00:00");
  Store(u"Interval", u"-30");
  Initialize();
  const PluginState& state = plugin.State();
  EXPECT_FALSE(state.bEnabled);
  EXPECT_EQ(state.sNick, u"%h");  // the keys after a damaged one still load
  EXPECT_EQ(state.nCountType, 0);
  EXPECT_EQ(Form().dTargetDate, At(2026, 6, 7));
  EXPECT_EQ(Form().dTargetTime, DateTime::FromTimeOfDay(8, 9, 10));
  EXPECT_EQ(state.nDelaySeconds, 0);
  EXPECT_EQ(Form().timCount().Interval(), 0);
}

TEST_F(PluginTest, OkStoresEveryKeyInOrderAndHides) {
  Initialize();
  plugin.Configure();
  Form().UserSetText(ControlId::Text2, u"%dd left");
  Form().UserSelectRow(ControlId::Combo1, 1);
  Form().UserSelectRow(ControlId::cmbDelay, 5);
  Form().UserClick(ControlId::cmdOk);
  EXPECT_FALSE(Form().Shown());
  EXPECT_EQ(View().hides, 1);
  const std::u16string path = plugin.Settings().KeyPath() + u"\\";
  EXPECT_EQ(env.registry.Writes(),
            (std::vector<std::u16string>{path + u"Enable", path + u"Nick", path + u"Type", path + u"ToDate",
                                         path + u"ToTime", path + u"Interval", path + u"Repeat",
                                         path + u"NickDone"}));
  EXPECT_EQ(Stored(u"Enable"), u"False");
  EXPECT_EQ(Stored(u"Nick"), u"%dd left");
  EXPECT_EQ(Stored(u"Type"), u"2");
  EXPECT_EQ(Stored(u"ToDate"), u"2026-01-01");
  EXPECT_EQ(Stored(u"ToTime"), u"00:00:00");
  EXPECT_EQ(Stored(u"Interval"), u"2m");
  EXPECT_EQ(Form().Schedule().nTicksLeft, 4);
  EXPECT_TRUE(env.host.names.empty());  // OK publishes nothing
}

TEST_F(PluginTest, OkWithoutACountTypeAsksForOneAndStoresNothing) {
  Initialize();
  plugin.Configure();
  Form().UserClick(ControlId::cmdOk);
  ASSERT_EQ(View().messages.size(), 1u);
  EXPECT_EQ(View().messages[0].title, u"Velmora");
  EXPECT_EQ(View().messages[0].text, u"You need to choose a count type");
  EXPECT_EQ(View().messages[0].icon, MessageIcon::kNone);
  EXPECT_TRUE(env.registry.Writes().empty());
  EXPECT_TRUE(Form().Shown());

  // Any text that is not exactly a row's is no count type either.
  for (const std::u16string_view typed : {u"Sideways", u"count down", u"Count Up ", u" Count Up", u""}) {
    Form().UserSetText(ControlId::Combo1, typed);
    Form().UserClick(ControlId::cmdOk);
    EXPECT_EQ(View().messages.back().text, u"You need to choose a count type") << ToUtf8(typed);
    EXPECT_TRUE(env.registry.Writes().empty()) << ToUtf8(typed);
    EXPECT_TRUE(Form().Shown()) << ToUtf8(typed);
  }
  EXPECT_EQ(View().messages.size(), 6u);
}

TEST_F(PluginTest, OkTakesTheRowWhoseTextWasTypedExactly) {
  Initialize();
  for (const auto& [typed, type] : {std::pair{u"Count Down", 2}, std::pair{u"Count Up", 1}}) {
    plugin.Configure();
    Form().UserSetText(ControlId::Combo1, typed);
    ASSERT_EQ(Control(ControlId::Combo1).row, -1) << "typing selects no row";
    Form().UserClick(ControlId::cmdOk);
    EXPECT_FALSE(Form().Shown());
    EXPECT_EQ(Stored(u"Type"), FromUtf8(std::to_string(type)));
    EXPECT_EQ(plugin.State().nCountType, type);
    // The list and the state agree, so the next show offers the row itself.
    EXPECT_EQ(Control(ControlId::Combo1).row, type - 1);
  }
  EXPECT_TRUE(View().messages.empty());
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

TEST_F(PluginTest, SwitchingBackOnResumesThePeriodWhereItStood) {
  Store(u"Enable", u"True");
  Initialize();  // 60 s: two ticks of 30 s
  Advance(30);
  Form().UserClick(ControlId::cmdEnable);
  EXPECT_EQ(Stored(u"Enable"), u"False");
  Advance(600);
  Form().UserClick(ControlId::cmdEnable);
  const std::size_t published = env.host.names.size();
  Advance(30);  // one tick left, not a full period
  EXPECT_EQ(env.host.names.size(), published + 1);
}

TEST_F(PluginTest, LabelClickShowsTheEightLineHelp) {
  Initialize();
  Form().UserClick(ControlId::Label2);
  ASSERT_EQ(View().messages.size(), 1u);
  const testing::ShownMessage& help = View().messages[0];
  EXPECT_EQ(help.title, u"Help!");
  EXPECT_EQ(help.icon, MessageIcon::kInformation);
  EXPECT_EQ(std::count(help.text.begin(), help.text.end(), u'\n'), 7);
  EXPECT_TRUE(help.text.starts_with(u"Put in the tags for the times you want, use double letter for leading zero's:\r\n"));
  EXPECT_TRUE(help.text.ends_with(u"and days when days count <> 1\r\n"
                                  u"%w = Weeks, %b = Working days (Mon-Fri), [w$] = Week, [b$] = Working day"));
}

TEST_F(PluginTest, PreviewFollowsEveryTemplateEditAndTheHostDoesNot) {
  Store(u"Enable", u"True");
  Initialize();
  plugin.Configure();
  Type(ControlId::Text2, u"%s");
  EXPECT_EQ(Control(ControlId::Text9).text, u"0");
  Type(ControlId::Text2, u"[ss]");
  EXPECT_EQ(Control(ControlId::Text9).text, u"0s");
  EXPECT_EQ(env.host.names, std::vector<std::u16string>{u""});
  Form().UserSetText(ControlId::Text9, u"scribble");
  EXPECT_EQ(plugin.State().sNick, u"%s[ss]");
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
