#include "plugin/plugin.h"

#include "support/plugin_fixture.h"

namespace velmora {
namespace {

using testing::PluginTest;

// The host calls themselves are pinned by the acceptance scripts on both hosts; a clock
// jump while the dialog is open is not.
TEST_F(PluginTest, AClockJumpNeverLoadsTheDialogAndUsesTheEditsOfAnOpenOne) {
  Store(u"Nick", u"%h h");
  plugin.ClockJumped();
  EXPECT_FALSE(plugin.DialogExists());
  Store(u"Enable", u"True");
  Initialize();
  plugin.Configure();
  Form().UserSetText(ControlId::Text2, u"%m min");
  env.time.SetClock(testing::At(2026, 1, 1, 1, 0, 0));
  plugin.ClockJumped();
  EXPECT_EQ(env.host.names, (std::vector<std::u16string>{u"0 h", u"60 min"}));
}

}  // namespace
}  // namespace velmora
