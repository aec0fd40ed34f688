// The counter parts and the template expansion over any template, count type and
// difference, checked against a literal step-by-step expansion: every tag replaced over the
// whole text in its turn, then one bracket per letter, then the cut. The engine reads the
// template once and writes only the numbers on each refresh, so the same template read once
// is also expanded again for other values (the same, other digits of the same widths, other
// units at 1, longer and negated numbers), and after reading another template and reading
// it back.
//
// Working days are checked against a walk over the dates left after the whole weeks.
//
// Input: byte 0 bit 0 set: the template is raw UTF-16LE units (lone surrogates, NULs),
// else UTF-8; bits 1-7 the units (s, m, h, d, w, y, b) set to 1 in the second expansion;
// bytes 1-2 the count type (int16 LE); bytes 3-10 the difference in seconds (int64 LE,
// folded into what two dates can be apart; what the fold drops picks the moment within a
// week that counts); the rest the template.
#include <algorithm>
#include <chrono>
#include <cstring>

#include "engine/counter.h"
#include "engine/nickname_template.h"
#include "fuzz_support.h"

namespace velmora::fuzz {
namespace {

constexpr std::size_t kHeaderSize = 11;
// Two dates of years -32767 and 32767 are at most this far apart.
constexpr std::int64_t kLargestDifference = std::int64_t{65535} * 366 * 86400;

std::u16string Decimal(std::int64_t value) {
  const std::string digits = std::to_string(value);
  return {digits.begin(), digits.end()};
}

std::u16string ReplaceEvery(std::u16string_view text, std::u16string_view what, std::u16string_view with) {
  std::u16string out;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(what, from)) != std::u16string_view::npos; from = at + what.size()) {
    out.append(text.substr(from, at - from)).append(with);
  }
  return out.append(text.substr(from));
}

struct Unit {
  char16_t letter;
  std::int64_t length;
  std::int64_t CounterParts::*part;
};
// In the order of the fold and of the tags; working days take no part in the fold.
constexpr Unit kUnits[] = {{u'y', kSecondsPerYear, &CounterParts::nYears},
                           {u'w', kSecondsPerWeek, &CounterParts::nWeeks},
                           {u'd', kSecondsPerDay, &CounterParts::nDays},
                           {u'h', kSecondsPerHour, &CounterParts::nHours},
                           {u'm', kSecondsPerMinute, &CounterParts::nMinutes},
                           {u's', 1, &CounterParts::nSeconds},
                           {u'b', 0, &CounterParts::nWorkDays}};
constexpr std::u16string_view kBracketOrder = u"smhdwyb";

bool Holds(std::u16string_view text, char16_t letter) {
  return text.find(std::u16string{u'%', letter}) != std::u16string_view::npos;
}

const Unit& UnitOf(char16_t letter) {
  for (const Unit& unit : kUnits) {
    if (unit.letter == letter) return unit;
  }
  std::abort();
}

// The first 129 units, one fewer when the 129th would be the first half of a pair.
std::u16string FirstUnits(std::u16string_view text) {
  if (text.size() <= kMaxNickLength) return std::u16string{text};
  const bool splitsPair =
      velmora::IsHighSurrogate(text[kMaxNickLength - 1]) && velmora::IsLowSurrogate(text[kMaxNickLength]);
  return std::u16string{text.substr(0, splitsPair ? kMaxNickLength - 1 : kMaxNickLength)};
}

CounterParts ReferenceParts(std::int64_t& diff, std::int32_t countType, std::u16string_view nick) {
  CounterParts parts;
  for (const Unit& unit : kUnits) {
    if (unit.length == 0 || !Holds(nick, unit.letter)) continue;
    if (unit.letter == u's') {  // the seconds take what is left and leave it
      parts.nSeconds = countType == kCountDown ? diff : -diff;
      continue;
    }
    const std::int64_t rest = diff % unit.length;
    const std::int64_t whole = (diff - rest) / unit.length;
    diff = rest;
    parts.*unit.part = countType == kCountDown ? whole : -whole;
  }
  return parts;
}

std::u16string ReferenceExpansion(std::u16string_view nick, const CounterParts& parts) {
  std::u16string work{nick};
  for (const Unit& unit : kUnits) {
    const std::int64_t value = parts.*unit.part;
    // At least two digits, the sign of a negative value in front: -3 gives "-03".
    const std::u16string digits = Decimal(value < 0 ? -value : value);
    work = ReplaceEvery(work, std::u16string{u'%', unit.letter, unit.letter},
                        std::u16string{value < 0 ? u"-" : u""} + (digits.size() < 2 ? u"0" : u"") + digits);
  }
  for (const Unit& unit : kUnits) {
    work = ReplaceEvery(work, std::u16string{u'%', unit.letter}, Decimal(parts.*unit.part));
  }
  for (const char16_t letter : kBracketOrder) {
    // A week or working-day bracket only where the template asks for its unit.
    if ((letter == u'w' || letter == u'b') && !Holds(nick, letter)) continue;
    const std::size_t open = work.find(std::u16string{u'[', letter});
    if (open == std::u16string::npos) continue;
    const std::size_t close = work.find(u']', open);
    if (close == std::u16string::npos) continue;
    const std::u16string bracket = work.substr(open, close - open + 1);
    const std::u16string inner = work.substr(open + 2, close - open - 2);
    work = ReplaceEvery(work, bracket, parts.*UnitOf(letter).part == 1 ? u"" : inner);
  }
  return FirstUnits(work);
}

// The dates from the earlier of the two dates, counted, to the later, not counted, that are
// Monday to Friday; signed as the other parts.
std::int64_t ReferenceWorkingDays(DateTime now, DateTime target, std::int32_t countType) {
  using namespace std::chrono;
  const local_days nowDate = floor<days>(now.Local());
  const local_days targetDate = floor<days>(target.Local());
  const local_days from = std::min(nowDate, targetDate);
  const local_days to = std::max(nowDate, targetDate);
  std::int64_t count = (to - from).count() / 7 * 5;
  for (local_days date = from + days{(to - from).count() / 7 * 7}; date < to; date += days{1}) {
    if (weekday{date}.iso_encoding() <= 5) ++count;
  }
  if (targetDate < nowDate) count = -count;
  return countType == kCountDown ? count : -count;
}

std::string Listed(const CounterParts& parts) {
  std::string out;
  for (const Unit& unit : kUnits) out += (out.empty() ? "" : "/") + std::to_string(parts.*unit.part);
  return out;
}

// Every part changed alike, keeping its place in the counter.
template <typename Change>
CounterParts EachPart(CounterParts parts, Change change) {
  for (const Unit& unit : kUnits) parts.*unit.part = change(parts.*unit.part, unit.letter);
  return parts;
}

}  // namespace
}  // namespace velmora::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmora;
  using namespace velmora::fuzz;
  if (size < kHeaderSize) return -1;
  std::int16_t countType;
  std::int64_t rawDiff;
  std::memcpy(&countType, data + 1, sizeof countType);
  std::memcpy(&rawDiff, data + 3, sizeof rawDiff);
  const std::int64_t diff = rawDiff % (kLargestDifference + 1);
  const std::string_view rest{reinterpret_cast<const char*>(data) + kHeaderSize, size - kHeaderSize};
  const std::u16string nick = (data[0] & 1) != 0 ? UnitsFromBytes(rest) : FromUtf8(rest);
  const std::string context = "template " + Shown(nick) + " count type " + std::to_string(countType) +
                              " difference " + std::to_string(diff);

  std::int64_t engineDiff = diff;
  CounterParts parts = CountParts(engineDiff, countType, nick);
  std::int64_t referenceDiff = diff;
  CounterParts expectedParts = ReferenceParts(referenceDiff, countType, nick);
  // Now lies in a week of 2000 as far from midnight as the folded-away part of the input says;
  // the target as far from now as the difference.
  using namespace std::chrono;
  const std::int64_t inWeek = rawDiff / (kLargestDifference + 1) % kSecondsPerWeek;
  const DateTime now = DateTime::FromDate(year{2000} / 1 / 3).PlusSeconds(inWeek < 0 ? -inWeek : inWeek);
  if (Holds(nick, u'b')) {
    parts.nWorkDays = WorkingDays(now, now.PlusSeconds(diff), countType);
    expectedParts.nWorkDays = ReferenceWorkingDays(now, now.PlusSeconds(diff), countType);
  }
  FUZZ_CHECK(parts == expectedParts && engineDiff == referenceDiff,
             context + ": parts y/w/d/h/m/s/b " + Listed(parts) + ", expected " + Listed(expectedParts));

  const std::u16string result = ExpandTemplate(nick, parts);
  FUZZ_CHECK(result.size() <= kMaxNickLength, context + ": " + std::to_string(result.size()) + " units");
  if (IsWellFormed(nick)) {
    FUZZ_CHECK(IsWellFormed(result), context + ": a well-formed template gave " + Shown(result));
  }
  if (nick.find_first_of(u"%[") == std::u16string::npos) {
    FUZZ_CHECK(result == FirstUnits(nick), context + ": plain text came back as " + Shown(result));
  }
  const std::u16string expected = ReferenceExpansion(nick, expectedParts);
  FUZZ_CHECK(result == expected, context + ": got " + Shown(result) + ", expected " + Shown(expected));

  NickTemplate reused;
  const auto checkReused = [&](std::u16string_view workNick, const CounterParts& values, const char* what) {
    reused.Use(workNick);
    const std::u16string got = reused.Expand(values);
    const std::u16string want = ReferenceExpansion(workNick, values);
    FUZZ_CHECK(got == want, context + ", " + what + " " + Shown(workNick) + ": got " + Shown(got) + ", expected " +
                                Shown(want));
  };
  const unsigned atOne = data[0] >> 1;
  checkReused(nick, parts, "read once");
  checkReused(nick, parts, "the same values again");
  checkReused(nick, EachPart(parts, [](std::int64_t value, char16_t) { return value ^ 1; }),
              "other digits, mostly of the same widths");
  checkReused(nick, EachPart(parts, [atOne](std::int64_t value, char16_t letter) {
                const std::size_t bit = kBracketOrder.find(letter);
                return (atOne >> bit & 1) != 0 ? 1 : value;
              }),
              "some units at 1");
  checkReused(nick, EachPart(parts, [](std::int64_t value, char16_t) { return value == 1 ? 1 : value * 11 + 2; }),
              "longer numbers");
  checkReused(nick, EachPart(parts, [](std::int64_t value, char16_t) { return -value; }), "negated");
  checkReused(std::u16string_view{nick}.substr(0, nick.size() / 2), parts, "another template");
  checkReused(nick, parts, "read again");
  return 0;
}
