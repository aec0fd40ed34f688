// The work of one nickname refresh: the counter parts and the template expansion, beside a
// plain copy of the short template as the floor any refresh has to pay.
#include <benchmark/benchmark.h>

#include <string>

#include "engine/counter.h"
#include "engine/nickname_template.h"

namespace velmora {
namespace {

const std::u16string kShortTemplate = u"%d day[ds] %hh:%mm:%ss left";
// As long as the short template, so that the same copy is its floor.
const std::u16string kWeeksTemplate = u"%ww week[ws] %b workday[bs]";
// 129 units holding every tag and a bracket of every unit.
const std::u16string kFullTemplate =
    u"%yy years %dd days %hh:%mm:%ss, or %y year[ys] %d day[ds] %h hour[hs] %m minute[ms] %s "
    u"second[ss] still to go until the big day!!";
constexpr std::int64_t kSecondsDiff = 1 * 31'536'000 + 2 * 86'400 + 3 * 3'600 + 4 * 60 + 5;

void CopyShortTemplate(benchmark::State& state) {
  for (auto _ : state) {
    std::u16string copy = kShortTemplate;
    benchmark::DoNotOptimize(copy);
  }
}

// As UpdateNick does it: the template is read again only when it changed, which costs a
// comparison on every refresh; working days only when the template asks for them.
void Expand(benchmark::State& state, const std::u16string& workNick) {
  using namespace std::chrono;
  NickTemplate nick;
  const DateTime now = DateTime::FromDate(2026y / 12 / 4).PlusSeconds(10 * 3600);
  for (auto _ : state) {
    std::int64_t diff = kSecondsDiff;
    benchmark::DoNotOptimize(diff);
    const DateTime target = now.PlusSeconds(diff);
    nick.Use(workNick);
    CounterParts parts = CountParts(diff, kCountDown, nick.Asked());
    if (nick.Asked().Has(AskedUnits::kWorkDays)) parts.nWorkDays = WorkingDays(now, target, kCountDown);
    std::u16string text = nick.Expand(parts);
    benchmark::DoNotOptimize(text);
  }
}

void ExpandShortTemplate(benchmark::State& state) { Expand(state, kShortTemplate); }
void ExpandWeeksTemplate(benchmark::State& state) {
  if (kWeeksTemplate.size() != kShortTemplate.size()) state.SkipWithError("both templates must be as long");
  Expand(state, kWeeksTemplate);
}
void ExpandFullTemplate(benchmark::State& state) {
  if (kFullTemplate.size() != 129) state.SkipWithError("the full template must be 129 units");
  Expand(state, kFullTemplate);
}

// The difference step of a repeating target: finding the occurrence to count to, each
// refresh, for a month that lacks the anchor's day.
void SecondsToMonthlyTarget(benchmark::State& state) {
  using namespace std::chrono;
  const DateTime date = DateTime::FromDate(2025y / 1 / 31);
  const DateTime time = DateTime::FromTimeOfDay(10, 0, 0);
  DateTime now = DateTime::FromDate(2031y / 2 / 20);
  for (auto _ : state) {
    benchmark::DoNotOptimize(now);
    std::int64_t diff = SecondsToTarget(date, time, now, Repeat::kEveryMonth, kCountDown);
    benchmark::DoNotOptimize(diff);
  }
}

BENCHMARK(CopyShortTemplate);
BENCHMARK(SecondsToMonthlyTarget);
BENCHMARK(ExpandShortTemplate);
BENCHMARK(ExpandWeeksTemplate);
BENCHMARK(ExpandFullTemplate);

}  // namespace
}  // namespace velmora

BENCHMARK_MAIN();
