// The repeat list and the text at the target in the dialog: load, preview, OK, Cancel.
#include "dialog/form1.h"
#include "settings/conversions.h"
#include "support/plugin_fixture.h"

namespace velmora {
namespace {

using testing::At;
using testing::PluginTest;

TEST_F(PluginTest, TheTextAtTheTargetTakesOverOnlyForACountDownThatHappensOnce) {
  Store(u"Type", u"2");
  Store(u"ToDate", u"2026-01-02");
  Store(u"ToTime", u"00:00:00");
  Initialize();
  Form().UserSetText(ControlId::Text2, u"%s s left");
  const DateTime target = At(2026, 1, 2);
  std::u16string digits;
  while (digits.size() < 129) digits += u"1234567890";
  const struct {
    std::int32_t countTypeRow;  // 0 counts up, 1 counts down
    std::int32_t repeatRow;
    std::u16string done;
    std::int64_t secondsAfterTarget;
    std::u16string expected;
  } cases[] = {
      {1, 0, u"done %s s ago", -1, u"1 s left"},
      {1, 0, u"done %s s ago", 0, u"done 0 s ago"},  // from the target on
      {1, 0, u"done %s s ago", 5, u"done 5 s ago"},  // counting up from it
      {1, 0, u"", 5, u"-5 s left"},
      {0, 0, u"done %s s ago", 5, u"5 s left"},
      {1, 1, u"done %s s ago", 5, u"86395 s left"},  // a repeating target has no end
      // The length cut applies to the text at the target too.
      {1, 0, u"%s " + digits, 100, (u"100 " + digits).substr(0, 129)},
  };
  for (const auto& c : cases) {
    Form().UserSelectRow(ControlId::Combo1, c.countTypeRow);
    Form().UserSelectRow(ControlId::cmbRepeat, c.repeatRow);
    Form().UserSetText(ControlId::txtDone, c.done);
    env.time.SetClock(target.PlusSeconds(c.secondsAfterTarget));
    EXPECT_EQ(ToUtf8(Form().UpdateNick()), ToUtf8(c.expected))
        << "type row " << c.countTypeRow << ", repeat row " << c.repeatRow << ", done \"" << ToUtf8(c.done)
        << "\", " << c.secondsAfterTarget << " s after the target";
  }
}

TEST_F(PluginTest, RepeatAndTheTextAtTheTargetLoadPreviewStoreAndRestore) {
  Store(u"Nick", u"%d");
  Store(u"Type", u"2");
  Store(u"ToDate", u"2025-12-25");
  Store(u"ToTime", u"00:00:00");
  Store(u"Repeat", u"4");
  Store(u"NickDone", u"Merry");
  Initialize();
  EXPECT_EQ(Control(ControlId::cmbRepeat).row, 4);
  EXPECT_EQ(Control(ControlId::cmbRepeat).text, u"Every year");
  EXPECT_EQ(Control(ControlId::txtDone).text, u"Merry");
  EXPECT_EQ(Control(ControlId::Text9).text, u"358");  // to next Christmas
  EXPECT_EQ(Control(ControlId::txtDateTime).text, u"2025-12-25 00:00:00");  // the anchor stays

  for (const bool viaCloseBox : {false, true}) {
    plugin.Configure();
    Form().UserSelectRow(ControlId::cmbRepeat, 0);
    EXPECT_EQ(Control(ControlId::Text9).text, u"Merry");  // the preview follows the row
    Form().UserSetText(ControlId::txtDone, u"");
    EXPECT_EQ(Control(ControlId::Text9).text, u"-7");  // ... and the text
    viaCloseBox ? Form().UserClose() : Form().UserClick(ControlId::cmdCancel);
    EXPECT_EQ(plugin.State().nRepeat, 4);
    EXPECT_EQ(plugin.State().sNickDone, u"Merry");
    EXPECT_EQ(Control(ControlId::cmbRepeat).text, u"Every year");
    EXPECT_EQ(Control(ControlId::txtDone).text, u"Merry");
    EXPECT_EQ(Control(ControlId::Text9).text, u"358");
  }

  plugin.Configure();
  Form().UserSelectRow(ControlId::cmbRepeat, 3);
  Form().UserSelectRow(ControlId::cmbRepeat, -1);  // a drop list always has a row
  Form().UserSetText(ControlId::cmbRepeat, u"Every hour");
  EXPECT_EQ(Control(ControlId::cmbRepeat).text, u"Every month");
  Form().UserSetText(ControlId::txtDone, u"Done %d");
  Form().UserClick(ControlId::cmdOk);
  const std::u16string path = plugin.Settings().KeyPath() + u"\\";
  const std::vector<std::u16string>& writes = env.registry.Writes();
  ASSERT_GE(writes.size(), 3u);
  EXPECT_EQ(writes[writes.size() - 3], path + u"Interval");  // after the six keys of OK
  EXPECT_EQ(writes[writes.size() - 2], path + u"Repeat");
  EXPECT_EQ(writes.back(), path + u"NickDone");
  EXPECT_EQ(Stored(u"Repeat"), u"3");
  EXPECT_EQ(Stored(u"NickDone"), u"Done %d");
}

TEST_F(PluginTest, OnlyTheFiveDigitsReadAsARepeat) {
  Store(u"Type", u"2");
  Store(u"ToDate", u"2025-12-31");
  Store(u"ToTime", u"12:00:00");
  Store(u"Nick", u"%h");
  Initialize();
  for (const std::u16string_view stored : {u" 4", u"4.0", u"9", u"-1", u"04", u"\u0664"}) {
    Store(u"Repeat", stored);
    Form().UserClick(ControlId::cmdCancel);  // reloads the store
    EXPECT_EQ(plugin.State().nRepeat, 0) << ToUtf8(stored);
    EXPECT_EQ(Control(ControlId::Text9).text, u"-12") << ToUtf8(stored);
  }
  Store(u"Repeat", u"1");
  Form().UserClick(ControlId::cmdCancel);
  EXPECT_EQ(Control(ControlId::cmbRepeat).text, u"Every day");
  EXPECT_EQ(Control(ControlId::Text9).text, u"12");
  EXPECT_EQ(ToRepeat(std::int32_t{0}), std::optional<std::int16_t>{0});  // the reader's default
}

}  // namespace
}  // namespace velmora
