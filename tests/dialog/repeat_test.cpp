// The repeat list and the text at the target where the scripts do not reach them.
#include "dialog/form1.h"
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
      {1, 0, u"done %s s ago", 0, u"done 0 s ago"},  // from the target on
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

}  // namespace
}  // namespace velmora
