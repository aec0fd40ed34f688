#include "plugin/plugin.h"

#include "support/plugin_fixture.h"

namespace velmora {
namespace {

using testing::PluginTest;

TEST_F(PluginTest, PublishesItsNameAndLeavesTheTagCountAlone) {
  for (std::int32_t tags : {0, 5}) {
    std::u16string name = u"old";
    std::int32_t commands = 0;
    std::int32_t tagCount = tags;
    EXPECT_TRUE(plugin.GetPublishInfo(name, commands, tagCount));
    EXPECT_EQ(name, u"Zorvane By Kestrilo");
    EXPECT_EQ(commands, 3);
    EXPECT_EQ(tagCount, tags);
  }
}

TEST_F(PluginTest, PublishesThreeCommandsAndNeverWritesTheirHelp) {
  struct Case {
    std::int32_t index;
    const char16_t* name;
    const char16_t* value;
  };
  const Case cases[] = {{1, u"Enable", u"xcntenable"},        {2, u"Disable", u"xcntdisable"},
                        {3, u"Set Counter Nickname", u"xcntsetnick"}, {0, u"n", u"v"},
                        {4, u"n", u"v"},                       {-1, u"n", u"v"}};
  for (const Case& c : cases) {
    std::u16string name = u"n", value = u"v", help = u"h";
    plugin.GetPublishCommandInfo(c.index, name, value, help);
    EXPECT_EQ(name, c.name) << "index " << c.index;
    EXPECT_EQ(value, c.value) << "index " << c.index;
    EXPECT_EQ(help, u"h") << "index " << c.index;
  }
}

TEST_F(PluginTest, PublishesOneTagButExpandsNone) {
  std::u16string name = u"n", value = u"v";
  plugin.GetPublishTagInfo(2, name, value);
  EXPECT_EQ(name + value, u"nv");
  plugin.GetPublishTagInfo(1, name, value);
  EXPECT_EQ(name, u"Counter");
  EXPECT_EQ(value, u"(!XCOUNT)");

  std::u16string result = u"kept";
  EXPECT_FALSE(plugin.ParseTag(u"(!XCOUNT)", result));
  EXPECT_FALSE(plugin.ReceiveNotify(u"1", u"hi", u"bob", result));
  EXPECT_EQ(result, u"kept");
}

TEST_F(PluginTest, InitializeReadsTheSettingsOfTheGivenAddressOnce) {
  Store(u"Nick", u"ann %d");
  env.Store(u"bob@example.com", u"Nick", u"bob %d");
  Initialize();
  EXPECT_EQ(plugin.State().sNick, u"ann %d");
  // The dialog is loaded already: a second address is recorded but not read until reloaded.
  EXPECT_TRUE(plugin.Initialize(1, u"bob@example.com"));
  EXPECT_EQ(plugin.State().sUserEmail, u"bob@example.com");
  EXPECT_EQ(plugin.State().sNick, u"ann %d");
  Form().UserClick(ControlId::cmdCancel);
  EXPECT_EQ(plugin.State().sNick, u"bob %d");
}

TEST_F(PluginTest, TicksGoOnAfterUninitialize) {
  Store(u"Enable", u"True");
  Store(u"Nick", u"%s");
  Store(u"Interval", u"6s");
  Initialize();
  plugin.Uninitialize();
  Advance(6);
  EXPECT_EQ(env.host.names.size(), 2u);
}

TEST_F(PluginTest, CommandsMatchTheWholeWordInAnyCase) {
  Initialize();
  std::u16string result = u"untouched";
  for (const char16_t* command : {u"xcntenable", u" /xcntenable", u"/xcntenable ", u"/xcntenabled"}) {
    EXPECT_FALSE(plugin.ParseCommand(command, u"", result)) << ToUtf8(command);
  }
  EXPECT_FALSE(plugin.State().bEnabled);
  EXPECT_EQ(Stored(u"Enable"), std::nullopt);

  for (const char16_t* command : {u"/XCNTENABLE", u"/XcntEnable"}) {
    EXPECT_TRUE(plugin.ParseCommand(command, u"", result)) << ToUtf8(command);
  }
  EXPECT_EQ(result, u"untouched");
}

TEST_F(PluginTest, EnableAndDisableStoreAndSwitchTheTimerButNotTheCaption) {
  Store(u"Nick", u"%m min");
  Initialize();
  std::u16string result;
  ASSERT_TRUE(plugin.ParseCommand(u"/xcntenable", u"", result));
  EXPECT_TRUE(Form().timCount().Enabled());
  EXPECT_EQ(Stored(u"Enable"), u"True");
  EXPECT_EQ(env.host.names, std::vector<std::u16string>{u"0 min"});
  EXPECT_EQ(Control(ControlId::cmdEnable).text, u"Enable");

  ASSERT_TRUE(plugin.ParseCommand(u"/xcntdisable", u"", result));
  ASSERT_TRUE(plugin.ParseCommand(u"/xcntdisable", u"", result));
  EXPECT_FALSE(Form().timCount().Enabled());
  EXPECT_EQ(Stored(u"Enable"), u"False");
  EXPECT_EQ(env.host.names.size(), 1u);
}

TEST_F(PluginTest, SetNickPublishesAtOnceEvenWhileOff) {
  Initialize();
  std::u16string result;
  ASSERT_TRUE(plugin.ParseCommand(u"/xcntsetnick", u"Up %d day[ds]", result));
  EXPECT_FALSE(plugin.State().bEnabled);
  EXPECT_EQ(Stored(u"Nick"), u"Up %d day[ds]");
  EXPECT_EQ(Control(ControlId::Text2).text, u"Up %d day[ds]");
  EXPECT_EQ(Control(ControlId::Text9).text, u"Up 0 days");
  ASSERT_TRUE(plugin.ParseCommand(u"/xcntsetnick", u"", result));
  EXPECT_EQ(Stored(u"Nick"), u"");
  EXPECT_EQ(env.host.names, (std::vector<std::u16string>{u"Up 0 days", u""}));
}

TEST_F(PluginTest, ACommandBeforeInitializeLoadsTheDialogFirst) {
  env.Store(u"", u"Nick", u"stored");
  std::u16string result;
  ASSERT_TRUE(plugin.ParseCommand(u"/xcntenable", u"", result));
  // The load ran before the command, so the command's change is what stays and is stored.
  EXPECT_TRUE(plugin.State().bEnabled);
  EXPECT_EQ(env.Stored(u"", u"Enable"), u"True");
  EXPECT_EQ(env.host.names, std::vector<std::u16string>{u"stored"});
}

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
