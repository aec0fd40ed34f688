// What a running counter costs: one virtual day of timer ticks on the whole core (tick
// plan, counter parts, expansion, hand-over), at the shortest delay and at the default one.
#include <benchmark/benchmark.h>

#include <string>

#include "plugin/plugin.h"
#include "posix/fixed_regional.h"
#include "virtual/memory_registry.h"
#include "virtual/virtual_platform.h"
#include "virtual/virtual_time.h"

namespace velmora {
namespace {

constexpr std::u16string_view kEmail = u"bench@example.com";
constexpr std::int64_t kDayMs = 86'400'000;

struct CountingHost : NameChannel {
  bool SetName(std::u16string_view text) override {
    ++names;
    benchmark::DoNotOptimize(text.data());
    return true;
  }
  std::int64_t names = 0;
};

void DayOfTicks(benchmark::State& state, std::u16string_view delayCode) {
  VirtualTime time{DateTime::FromDate(std::chrono::year{2026} / 1 / 1)};
  MemoryRegistry registry;
  FixedRegional regional;
  CountingHost host;
  const std::u16string keyPath = SettingsKeyPath(kEmail, u"Velmora");
  const auto save = [&](std::u16string_view key, std::u16string_view text) {
    registry.SetValue(RegistryRoot::kCurrentUser, keyPath, key, RegistryValue{kRegSz, std::u16string{text}});
  };
  save(u"Enable", u"True");
  save(u"Nick", u"%d day[ds] %hh:%mm:%ss left");
  save(u"Type", u"2");
  // Far enough ahead that every day of every run still counts down.
  save(u"ToDate", u"2126-01-01");
  save(u"ToTime", u"12:00:00");
  save(u"Interval", delayCode);

  Plugin plugin{VirtualPlatform(time, registry, regional, host)};
  plugin.Initialize(1, kEmail);

  const std::int64_t before = host.names;
  for (auto _ : state) time.Advance(kDayMs);
  state.counters["refreshes_per_day"] =
      static_cast<double>(host.names - before) / static_cast<double>(state.iterations());
}

BENCHMARK_CAPTURE(DayOfTicks, 6s, u"6s")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DayOfTicks, 1m, u"1m")->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora

BENCHMARK_MAIN();
