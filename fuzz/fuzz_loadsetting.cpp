// The settings load over any stored values of any type: Initialize never throws, and the
// plug-in state, the tick plan, the timer and the dialog's controls always agree.
//
// Input: UTF-8 lines. "<name>=<type>:<data>" stores a value of that registry type under the
// plug-in's key ("<name>=<data>" a plain string); "!advance=<ms>" lets the virtual clock run
// after the load (up to ten minutes); "!reload" runs the load again by closing the dialog.
#include <charconv>
#include <vector>

#include "fuzz_support.h"
#include "plugin/plugin.h"
#include "posix/fixed_regional.h"
#include "virtual/memory_registry.h"
#include "virtual/virtual_platform.h"
#include "virtual/virtual_time.h"

namespace velmora::fuzz {
namespace {

constexpr std::u16string_view kEmail = u"fuzz@example.com";
constexpr std::int64_t kLongestAdvance = 600'000;

struct CountingHost : NameChannel {
  bool SetName(std::u16string_view text) override {
    ++names;
    FUZZ_CHECK(text.size() <= 129, "handed the host " + std::to_string(text.size()) + " units");
    return true;
  }
  int names = 0;
};

struct Script {
  std::int64_t advance = 0;
  bool reload = false;
};

Script StoreValues(std::string_view input, MemoryRegistry& registry) {
  Script script;
  const std::u16string keyPath = SettingsKeyPath(kEmail, u"Velmora");
  while (!input.empty()) {
    const std::size_t end = std::min(input.find('\n'), input.size());
    const std::string_view line = input.substr(0, end);
    input.remove_prefix(std::min(end + 1, input.size()));
    if (line.starts_with("!advance=")) {
      std::int64_t ms = 0;
      std::from_chars(line.data() + 9, line.data() + line.size(), ms);
      script.advance = std::clamp<std::int64_t>(ms, 0, kLongestAdvance);
      continue;
    }
    if (line == "!reload") {
      script.reload = true;
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view data = line.substr(equals + 1);
    RegistryValue value{kRegSz, {}};
    const std::size_t colon = data.find(':');
    std::uint32_t type = 0;
    if (colon != std::string_view::npos &&
        std::from_chars(data.data(), data.data() + colon, type).ptr == data.data() + colon) {
      value.type = type;
      data.remove_prefix(colon + 1);
    }
    value.data = FromUtf8(data);
    registry.SetValue(RegistryRoot::kCurrentUser, keyPath, FromUtf8(line.substr(0, equals)), value);
  }
  return script;
}

struct Loaded {
  std::u16string sNick;
  std::int16_t nCountType;
  std::int16_t nRepeat;
  std::u16string sNickDone;
  bool bEnabled;
  std::u16string sDelayCode;
  std::int32_t nDelaySeconds;
  DateTime dTargetDate;
  DateTime dTargetTime;
  friend bool operator==(const Loaded&, const Loaded&) = default;
};

Loaded Snapshot(Plugin& plugin) {
  const PluginState& state = plugin.State();
  return {state.sNick, state.nCountType, state.nRepeat, state.sNickDone, state.bEnabled, state.sDelayCode, state.nDelaySeconds,
          plugin.Dialog().dTargetDate, plugin.Dialog().dTargetTime};
}

void CheckConsistent(Plugin& plugin, const std::string& when, bool justLoaded) {
  const PluginState& state = plugin.State();
  Form1& form = plugin.Dialog();
  const RefreshSchedule& plan = form.Schedule();
  const Timer& timer = form.timCount();
  FUZZ_CHECK(state.nCountType >= 0 && state.nCountType <= 2, when + ": nCountType " + std::to_string(state.nCountType));
  FUZZ_CHECK(state.nDelaySeconds >= 0, when + ": nDelaySeconds " + std::to_string(state.nDelaySeconds));
  FUZZ_CHECK(plan.nFullTicks >= 0 && plan.nRestSeconds >= 0 && plan.nRestSeconds < 30 &&
                 std::int64_t{plan.nFullTicks} * 30 + plan.nRestSeconds == state.nDelaySeconds,
             when + ": " + std::to_string(state.nDelaySeconds) + " s split into " + std::to_string(plan.nFullTicks) +
                 " ticks and " + std::to_string(plan.nRestSeconds) + " s");
  // A load starts a period; within one, the last tick of a whole-and-rest delay is shorter.
  const std::int32_t startInterval = plan.nFullTicks != 0 ? 30'000 : plan.nRestSeconds * 1'000;
  FUZZ_CHECK(timer.Interval() == startInterval ||
                 (!justLoaded && plan.nTicksLeft == 0 && timer.Interval() == plan.nRestSeconds * 1'000),
             when + ": interval " + std::to_string(timer.Interval()) + " ms with " +
                 std::to_string(plan.nTicksLeft) + " ticks left");
  FUZZ_CHECK(justLoaded ? plan.nTicksLeft == plan.nFullTicks : plan.nTicksLeft >= 0 && plan.nTicksLeft <= plan.nFullTicks,
             when + ": " + std::to_string(plan.nTicksLeft) + " of " + std::to_string(plan.nFullTicks) + " ticks left");
  FUZZ_CHECK(timer.Enabled() == state.bEnabled, when + ": timer on " + std::to_string(timer.Enabled()));
  FUZZ_CHECK(form.Control(ControlId::Combo1).row == state.nCountType - 1,
             when + ": Combo1 row " + std::to_string(form.Control(ControlId::Combo1).row));
  FUZZ_CHECK(state.nRepeat >= 0 && state.nRepeat <= 4 && form.Control(ControlId::cmbRepeat).row == state.nRepeat,
             when + ": nRepeat " + std::to_string(state.nRepeat) + ", cmbRepeat row " +
                 std::to_string(form.Control(ControlId::cmbRepeat).row));
  FUZZ_CHECK(form.Control(ControlId::txtDone).text == state.sNickDone,
             when + ": txtDone " + Shown(form.Control(ControlId::txtDone).text) + ", sNickDone " +
                 Shown(state.sNickDone));
  FUZZ_CHECK(form.Control(ControlId::Text2).text == state.sNick,
             when + ": Text2 " + Shown(form.Control(ControlId::Text2).text) + ", sNick " + Shown(state.sNick));
  FUZZ_CHECK(form.Control(ControlId::cmdEnable).text == (state.bEnabled ? u"Disable" : u"Enable"),
             when + ": caption " + Shown(form.Control(ControlId::cmdEnable).text));
}

}  // namespace
}  // namespace velmora::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmora;
  using namespace velmora::fuzz;
  VirtualTime time{DateTime::Combine(DateTime::FromDate(std::chrono::year{2026} / 3 / 14),
                                     DateTime::FromTimeOfDay(15, 9, 26))};
  MemoryRegistry registry;
  FixedRegional regional;
  CountingHost host;
  const Script script = StoreValues({reinterpret_cast<const char*>(data), size}, registry);

  Plugin plugin{VirtualPlatform(time, registry, regional, host)};
  try {
    FUZZ_CHECK(plugin.Initialize(1, kEmail), "Initialize answered false");
    CheckConsistent(plugin, "after the load", true);
    FUZZ_CHECK(host.names == (plugin.State().bEnabled ? 1 : 0),
               "the load handed the host " + std::to_string(host.names) + " nicknames");
    const Loaded first = Snapshot(plugin);
    if (script.advance > 0) {
      time.Advance(script.advance);
      CheckConsistent(plugin, "after " + std::to_string(script.advance) + " ms", false);
    }
    if (script.reload) {
      plugin.Dialog().UserClose();
      CheckConsistent(plugin, "after the reload", true);
      // Without the clock moving, the defaults of the targets are the same instants too.
      Loaded second = Snapshot(plugin);
      if (script.advance > 0) {
        second.dTargetDate = first.dTargetDate;
        second.dTargetTime = first.dTargetTime;
      }
      FUZZ_CHECK(second == first, "the same store loaded twice gave different settings");
    }
  } catch (const std::exception& error) {
    FUZZ_CHECK(false, std::string{"the load threw: "} + error.what());
  }
  return 0;
}
