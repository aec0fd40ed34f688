#include "dialog/form1.h"
#include "ports/key_codes.h"

#include "script/headless_editing.h"
#include "support/plugin_fixture.h"

namespace velmora {
namespace {

using testing::At;
using testing::PluginTest;

constexpr std::int32_t kLeft = kKeyLeft, kUp = kKeyUp, kRight = kKeyRight, kDown = kKeyDown;

// Scripts cannot see the focus: every way of editing the time field leaves it there.
TEST_F(PluginTest, TheTimeFieldKeepsTheFocusThroughClicksKeysDigitsAndSpins) {
  Initialize();
  plugin.Configure();
  Form().UserClick(ControlId::txtTime, 3);
  Form().UserFocus(ControlId::Text2);
  Form().UserSpin(ControlId::udTime, true);
  EXPECT_EQ(Form().Focus(), ControlId::txtTime);
  Form().UserFocus(ControlId::Text2);
  script::PressKey(Form(), ControlId::txtTime, kUp);
  EXPECT_EQ(Form().Focus(), ControlId::txtTime);
  Form().UserFocus(ControlId::Text2);
  Type(ControlId::txtTime, u"4");
  EXPECT_EQ(Form().Focus(), ControlId::txtTime);
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
