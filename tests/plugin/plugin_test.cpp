#include "plugin/plugin.h"

#include "support/plugin_fixture.h"

namespace velmora {
namespace {

using testing::PluginTest;

// The host calls themselves are pinned by the acceptance scripts on both hosts; a clock
// jump while the dialog is open is not.
TEST_F(PluginTest, AClockJumpRepublishesOnlyARunningCounterAndNeverLoadsTheDialog) {
  Store(u"Nick", u"%h h");
  plugin.ClockJumped();
  EXPECT_FALSE(plugin.DialogExists());
  Initialize();
  plugin.ClockJumped();  // switched off
  EXPECT_TRUE(env.host.names.empty());

  std::u16string result;
  ASSERT_TRUE(plugin.ParseCommand(u"/xcntenable", u"", result));
  Advance(30);
  env.time.Sleep(5 * 3600 * 1000);
  plugin.ClockJumped();
  EXPECT_EQ(env.host.names, (std::vector<std::u16string>{u"0 h", u"5 h"}));
  // Also while the dialog is shown: the counter runs on the edits made in it.
  plugin.Configure();
  Form().UserSetText(ControlId::Text2, u"%m min");
  env.time.SetClock(testing::At(2026, 1, 1, 1, 0, 0));
  plugin.ClockJumped();
  EXPECT_EQ(env.host.names.back(), u"60 min");
  // The countdown went on as it stood: the period's second tick refreshes.
  EXPECT_EQ(Form().Schedule().nTicksLeft, 1);
  Advance(30);
  EXPECT_EQ(env.host.names.size(), 4u);
}

}  // namespace
}  // namespace velmora
