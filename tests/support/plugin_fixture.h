#pragma once
#include <gtest/gtest.h>

#include "base/text.h"
#include "plugin/plugin.h"
#include "script/headless_editing.h"
#include "script/key_codes.h"
#include "support/test_platform.h"

namespace velmora::testing {

inline constexpr std::u16string_view kEmail = u"ann@example.com";

// A plug-in on the virtual platform, the clock at 2026-01-01 00:00:00.
class PluginTest : public ::testing::Test {
 protected:
  TestPlatform env;
  Plugin plugin{env.Make()};

  Form1& Form() { return plugin.Dialog(); }
  const ControlState& Control(ControlId id) { return Form().Control(id); }
  std::optional<std::u16string> Stored(std::u16string_view key) const { return env.Stored(kEmail, key); }
  void Store(std::u16string_view key, std::u16string_view text) { env.Store(kEmail, key, text); }
  void Initialize() { ASSERT_TRUE(plugin.Initialize(1, kEmail)); }
  void Advance(std::int64_t seconds) { env.time.Advance(seconds * 1000); }
  // Each character as the scripts type it: its key, then the character.
  void Type(ControlId control, std::u16string_view characters) {
    for (char16_t c : characters) script::TypeCharacter(Form(), control, c, script::KeyCodeFor(c));
  }
};

}  // namespace velmora::testing
