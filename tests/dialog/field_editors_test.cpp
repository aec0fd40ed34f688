#include "dialog/form1.h"
#include "ports/key_codes.h"

#include "script/headless_editing.h"
#include "support/plugin_fixture.h"

namespace velmora {
namespace {

using testing::At;
using testing::PluginTest;

constexpr std::int32_t kLeft = kKeyLeft, kUp = kKeyUp, kRight = kKeyRight, kDown = kKeyDown;

class TimeFieldTest : public PluginTest {
 protected:
  void SetUp() override {
    Store(u"ToTime", u"10:20:30");
    Store(u"Nick", u"%h:%m:%s");
    Store(u"Type", u"2");
    Initialize();
    plugin.Configure();
  }
  std::u16string TimeText() { return Control(ControlId::txtTime).text; }
};

TEST_F(TimeFieldTest, DigitSequencesInTheHours) {
  struct Case {
    const char16_t* digits;
    const char16_t* after;
    const char16_t* pending;
  };
  const Case cases[] = {
      {u"19", u"19:20:30", u""}, {u"23", u"23:20:30", u""}, {u"25", u"05:20:30", u"5"},
      {u"53", u"03:20:30", u"3"}, {u"241", u"01:20:30", u"1"}, {u"2", u"02:20:30", u"2"},
  };
  for (const Case& c : cases) {
    Form().sPendingDigit.clear();
    Form().UserClick(ControlId::txtTime, 0);
    Type(ControlId::txtTime, c.digits);
    EXPECT_EQ(TimeText(), c.after) << ToUtf8(c.digits);
    EXPECT_EQ(Form().sPendingDigit, c.pending) << ToUtf8(c.digits);
    EXPECT_EQ(env.regional.DateTimeToText(Form().dTargetTime), c.after) << ToUtf8(c.digits);
    EXPECT_EQ(Control(ControlId::txtTime).selStart, 0);
    EXPECT_EQ(Control(ControlId::txtTime).selLength, 2);
  }
}

TEST_F(TimeFieldTest, BeforeAnyChoiceDigitsGoToTheSecondsAndUpdateEverything) {
  Type(ControlId::txtTime, u"45");
  EXPECT_EQ(TimeText(), u"10:20:45");
  EXPECT_EQ(Form().dTargetTime, DateTime::FromTimeOfDay(10, 20, 45));
  EXPECT_EQ(Control(ControlId::txtDateTime).text, u"2026-01-01 10:20:45");
  EXPECT_EQ(Control(ControlId::Text9).text, u"10:20:45");
  Type(ControlId::txtTime, u"61");  // 6 starts afresh in the minutes and seconds
  EXPECT_EQ(TimeText(), u"10:20:01");
  EXPECT_EQ(Form().sPendingDigit, u"1");
}

TEST_F(TimeFieldTest, APendingDigitCompletesInTheNextSegment) {
  Form().UserClick(ControlId::txtTime, 1);
  Type(ControlId::txtTime, u"1");
  script::PressKey(Form(), ControlId::txtTime, kRight);
  Type(ControlId::txtTime, u"5");
  EXPECT_EQ(TimeText(), u"01:15:30");
  EXPECT_EQ(Form().nTimeSegment, 2);
}

TEST_F(TimeFieldTest, ClickPositionsAndArrowsChooseTheSegment) {
  const std::pair<std::int32_t, std::int16_t> clicks[] = {{0, 1}, {2, 1}, {3, 2}, {5, 2}, {6, 3}, {8, 3}};
  for (const auto& [caret, segment] : clicks) {
    Form().UserClick(ControlId::txtTime, caret);
    EXPECT_EQ(Form().nTimeSegment, segment) << "caret " << caret;
    EXPECT_EQ(Control(ControlId::txtTime).selStart, (segment - 1) * 3) << "caret " << caret;
  }
  script::PressKey(Form(), ControlId::txtTime, kRight);
  EXPECT_EQ(Form().nTimeSegment, 3);
  for (int i = 0; i < 4; ++i) script::PressKey(Form(), ControlId::txtTime, kLeft);
  EXPECT_EQ(Form().nTimeSegment, 1);
  EXPECT_EQ(Control(ControlId::txtTime).selStart, 0);
}

TEST_F(TimeFieldTest, SteppingWrapsWithoutCarry) {
  struct Case {
    std::int32_t caret;
    bool up;
    const char16_t* start;
    const char16_t* after;
  };
  const Case cases[] = {{8, true, u"2026-01-01 23:59:59", u"23:59:00"},
                        {0, false, u"2026-01-01 00:00:00", u"23:00:00"},
                        {4, true, u"2026-01-01 07:59:10", u"07:00:10"},
                        {4, false, u"2026-01-01 07:00:10", u"07:59:10"}};
  for (const Case& c : cases) {
    Store(u"ToTime", std::u16string{c.start}.substr(11));
    Form().UserClick(ControlId::cmdCancel);
    plugin.Configure();
    Form().UserClick(ControlId::txtTime, c.caret);
    Form().UserSpin(ControlId::udTime, c.up);
    EXPECT_EQ(TimeText(), c.after) << ToUtf8(c.start);
    EXPECT_EQ(Form().Focus(), ControlId::txtTime);
    Form().UserSpin(ControlId::udTime, !c.up);
    script::PressKey(Form(), ControlId::txtTime, c.up ? kUp : kDown);
    EXPECT_EQ(TimeText(), c.after) << "by key, " << ToUtf8(c.start);
    // The key's refresh shows the countdown to the new time of today.
    const DateTime after = *env.regional.TextToDateTime(c.after);
    EXPECT_EQ(ToUtf8(Control(ControlId::Text9).text), std::to_string(after.Hour()) + ":" +
                                                          std::to_string(after.Minute()) + ":" +
                                                          std::to_string(after.Second()));
  }
}

TEST_F(TimeFieldTest, KeysThatChangeNothingStillRefresh) {
  Form().UserSetText(ControlId::Text2, u"%s");
  env.time.SetClock(At(2026, 1, 1, 10, 20, 0));
  for (const std::int32_t key : {46, 36, 35, 8, 65}) {
    EXPECT_EQ(Form().UserKeyDown(ControlId::txtTime, key), 0) << key;
  }
  Type(ControlId::txtTime, u"a\b ");
  EXPECT_EQ(TimeText(), u"10:20:30");
  EXPECT_EQ(Control(ControlId::Text9).text, u"30");
}

class DelayChooserTest : public PluginTest {
 protected:
  void SetUp() override {
    Initialize();
    plugin.Configure();
  }
  void ChooseOwnDelayAndType(std::u16string_view typed) {
    Form().UserSelectRow(ControlId::cmbDelay, kOwnDelayRow);
    Type(ControlId::cmbDelay, typed);
    Type(ControlId::cmbDelay, u"\r");
  }
};

TEST_F(DelayChooserTest, TypedDelays) {
  struct Case {
    const char16_t* typed;
    const char16_t* code;
    std::int32_t seconds;
    bool warned;
  };
  const Case cases[] = {
      {u"45", u"45", 45, false},       {u"90 sec", u"90", 90, false},  {u"7.5", u"7.5", 8, false},
      {u"2.5", u"2.5", 2, false},      {u"", u"0", 0, true},           {u"-30", u"0", 0, true},
      {u"99999999999", u"0", 0, true}, {u"1000000", u"1000000", 1000000, false},
  };
  for (const Case& c : cases) {
    View().messages.clear();
    ChooseOwnDelayAndType(c.typed);
    EXPECT_EQ(plugin.State().sDelayCode, c.code) << ToUtf8(c.typed);
    EXPECT_EQ(plugin.State().nDelaySeconds, c.seconds) << ToUtf8(c.typed);
    ASSERT_EQ(View().messages.size(), c.warned ? 1u : 0u) << ToUtf8(c.typed);
    if (c.warned) {
      EXPECT_EQ(View().messages[0].text,
                u"Delay Time is not correct, time was set to 0 seconds which means that the timer won't run!");
      EXPECT_EQ(View().messages[0].title, u"Velmora");
    }
  }
}

TEST_F(DelayChooserTest, TypingIsRefusedOutsideAnOwnDelayEntry) {
  Form().UserSelectRow(ControlId::cmbDelay, 5);
  Type(ControlId::cmbDelay, u"45\r");
  EXPECT_EQ(Control(ControlId::cmbDelay).text, u"2 Minutes");
  EXPECT_EQ(plugin.State().sDelayCode, u"2m");
  EXPECT_EQ(plugin.State().nDelaySeconds, 120);

  ChooseOwnDelayAndType(u"30");
  Type(ControlId::cmbDelay, u"9");
  EXPECT_EQ(Control(ControlId::cmbDelay).text, u"30");

  // A row chosen mid-entry ends it; the row's delay applies.
  Form().UserSelectRow(ControlId::cmbDelay, kOwnDelayRow);
  EXPECT_EQ(Control(ControlId::cmbDelay).text, u"Enter Number of Seconds");
  Form().UserSelectRow(ControlId::cmbDelay, 0);
  EXPECT_FALSE(Form().bOwnDelayEntry);
  EXPECT_EQ(plugin.State().nDelaySeconds, 6);
}

TEST_F(DelayChooserTest, AnEnteredDelayReloadsAsItsNumberOfSeconds) {
  Form().UserSelectRow(ControlId::Combo1, 0);
  ChooseOwnDelayAndType(u"45");
  Form().UserClick(ControlId::cmdOk);
  EXPECT_EQ(Form().Schedule().nFullTicks, 1);
  EXPECT_EQ(Form().Schedule().nRestSeconds, 15);
  plugin.Configure();
  Form().UserClick(ControlId::cmdCancel);
  EXPECT_EQ(Control(ControlId::cmbDelay).text, u"45 Seconds");
  EXPECT_EQ(Control(ControlId::cmbDelay).row, -1);
  EXPECT_EQ(plugin.State().nDelaySeconds, 45);
}

// Where the user's decimal separator is a comma, a fraction typed with either mark keeps its
// value through OK and every later load; the stored code is the same under any setting.
TEST_F(PluginTest, AFractionalOwnDelaySurvivesOkAndReloadUnderACommaSeparator) {
  env.regional.separator = u',';
  Initialize();
  for (const std::u16string typed : {u"7.5", u"7,5"}) {
    plugin.Configure();
    Form().UserSelectRow(ControlId::Combo1, 0);
    Form().UserSelectRow(ControlId::cmbDelay, kOwnDelayRow);
    Type(ControlId::cmbDelay, typed + u"\r");
    EXPECT_EQ(plugin.State().sDelayCode, u"7.5") << ToUtf8(typed);
    EXPECT_EQ(plugin.State().nDelaySeconds, 8) << ToUtf8(typed);
    Form().UserClick(ControlId::cmdOk);
    EXPECT_EQ(Stored(u"Interval"), u"7.5") << ToUtf8(typed);

    plugin.Configure();
    Form().UserClick(ControlId::cmdCancel);  // loads the stored settings again
    EXPECT_EQ(Control(ControlId::cmbDelay).text, u"7,5 Seconds") << ToUtf8(typed);
    Plugin later{env.Make()};
    ASSERT_TRUE(later.Initialize(1, testing::kEmail));
    EXPECT_EQ(later.State().sDelayCode, u"7.5") << ToUtf8(typed);
    EXPECT_EQ(later.State().nDelaySeconds, 8) << ToUtf8(typed);
    EXPECT_EQ(later.Dialog().Schedule().nRestSeconds, 8) << ToUtf8(typed);
    EXPECT_EQ(later.Dialog().Control(ControlId::cmbDelay).text, u"7,5 Seconds") << ToUtf8(typed);
  }
}

TEST_F(PluginTest, ACommaIsNoDecimalMarkWhereThePointIsTheSeparator) {
  Initialize();
  plugin.Configure();
  Form().UserSelectRow(ControlId::cmbDelay, kOwnDelayRow);
  Type(ControlId::cmbDelay, u"1,5\r");
  EXPECT_EQ(plugin.State().sDelayCode, u"1");
  EXPECT_EQ(plugin.State().nDelaySeconds, 1);
}

// The open calendar by keyboard: each key from a selection, as the calendar moves it.
TEST_F(PluginTest, CalendarKeysMoveItsSelectionWithinTheMonthAndTheRange) {
  Initialize();
  plugin.Configure();
  const struct {
    DateTime from;
    std::int32_t key;
    DateTime to;
  } cases[] = {
      {At(2005, 3, 13), kLeft, At(2005, 3, 12)},        {At(2005, 3, 13), kRight, At(2005, 3, 14)},
      {At(2005, 3, 1), kUp, At(2005, 2, 22)},           {At(2005, 12, 28), kDown, At(2006, 1, 4)},
      {At(2005, 1, 31), kKeyPageDown, At(2005, 2, 28)}, {At(2004, 3, 31), kKeyPageUp, At(2004, 2, 29)},
      {At(2005, 3, 13), kKeyHome, At(2005, 3, 1)},      {At(2005, 2, 13), kKeyEnd, At(2005, 2, 28)},
      {At(1900, 1, 3), kUp, At(1900, 1, 1)},            {At(9999, 12, 30), kDown, At(9999, 12, 31)},
      {At(9999, 12, 15), kKeyPageDown, At(9999, 12, 31)},
  };
  Form().UserFocus(ControlId::txtDate);
  // No script can write a date past the range, so it is refused here.
  EXPECT_TRUE(Form().UserPickDate(At(10000, 1, 1)).has_value());
  for (const auto& c : cases) {
    Form().UserBrowseCalendar(c.from);
    EXPECT_EQ(Form().UserKeyDown(ControlId::calDate, c.key), 0) << "key " << c.key << " not consumed";
    EXPECT_EQ(IsoDateText(Form().CalendarSelection()), IsoDateText(c.to))
        << "key " << c.key << " from " << ToUtf8(IsoDateText(c.from));
  }
  EXPECT_TRUE(Control(ControlId::calDate).visible);
  EXPECT_EQ(Control(ControlId::txtDate).text, u"2026-01-01") << "moving the selection picked a date";
}

// What its keys do to the date is the calendar-key script's; here, where the focus goes.
TEST_F(PluginTest, ACalendarClosedByItsKeysHandsTheFocusToItsSpinner) {
  Initialize();
  plugin.Configure();
  for (const std::int32_t key : {kKeyEnter, kKeySpace, kKeyEscape}) {
    Form().UserSpin(ControlId::udDate, true);
    Form().UserFocus(ControlId::calDate);
    EXPECT_EQ(Form().UserKeyDown(ControlId::calDate, key), 0) << "key " << key;
    EXPECT_FALSE(Control(ControlId::calDate).visible) << "key " << key;
    EXPECT_EQ(Form().Focus(), ControlId::udDate) << "key " << key;
  }
  // A hidden calendar takes no keys.
  EXPECT_EQ(Form().UserKeyDown(ControlId::calDate, kKeyEnter), kKeyEnter);
}

}  // namespace
}  // namespace velmora
