#include "engine/nickname_template.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "base/text.h"

namespace velmora {

namespace {

// Bracket letters in the order they are evaluated; the tags use the same letters, and a
// unit's index here is its index everywhere in this file.
constexpr std::u16string_view kBracketLetters = u"smhdwyb";
constexpr unsigned kUnitCount = kBracketLetters.size();
// Each unit's part of the counter, in the same order.
constexpr std::array<std::int64_t CounterParts::*, kUnitCount> kUnitParts = {
    &CounterParts::nSeconds, &CounterParts::nMinutes, &CounterParts::nHours,
    &CounterParts::nDays,    &CounterParts::nWeeks,   &CounterParts::nYears,
    &CounterParts::nWorkDays};
constexpr int kWeekUnit = 4;
constexpr int kWorkDayUnit = 6;

// The week and working-day brackets are brackets only in a template asking for their unit.
bool BracketsCount(int unit, AskedUnits asked) {
  if (unit == kWeekUnit) return asked.Has(AskedUnits::kWeeks);
  if (unit == kWorkDayUnit) return asked.Has(AskedUnits::kWorkDays);
  return true;
}

int LetterIndex(char32_t letter) {
  switch (letter) {
    case U's':
      return 0;
    case U'm':
      return 1;
    case U'h':
      return 2;
    case U'd':
      return 3;
    case U'w':
      return 4;
    case U'y':
      return 5;
    case U'b':
      return 6;
    default:
      return -1;
  }
}

// A tag in the tagged text: a mark above every UTF-16 unit, naming the unit and the form.
constexpr char32_t kFirstMark = 0x10000;
constexpr char32_t Mark(int unit, bool twoDigits) {
  return kFirstMark + static_cast<char32_t>(unit * 2) + (twoDigits ? 1 : 0);
}
constexpr bool IsMark(char32_t unit) { return unit >= kFirstMark; }
constexpr int MarkUnit(char32_t mark) { return static_cast<int>((mark - kFirstMark) / 2); }
constexpr bool MarkTwoDigits(char32_t mark) { return ((mark - kFirstMark) & 1) != 0; }

constexpr std::size_t kMaxDecimal = 20;  // "-9223372036854775808"

// "00" to "99", so that a refresh writes two digits at once.
constexpr std::array<char16_t, 200> kDigitPairs = [] {
  std::array<char16_t, 200> pairs{};
  for (int value = 0; value < 100; ++value) {
    pairs[value * 2] = static_cast<char16_t>(u'0' + value / 10);
    pairs[value * 2 + 1] = static_cast<char16_t>(u'0' + value % 10);
  }
  return pairs;
}();

// `value` is below 100.
void WritePair(char16_t* to, std::uint64_t value) {
  std::memcpy(to, &kDigitPairs[static_cast<std::size_t>(value) * 2], 2 * sizeof(char16_t));
}

std::uint64_t Magnitude(std::int64_t value) {
  return value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
}

// How many units the decimal text of a value outside 0..99 takes.
std::size_t LargeDecimalWidth(std::int64_t value, bool twoDigits) {
  std::size_t digits = 1;
  for (std::uint64_t rest = Magnitude(value); rest >= 10; rest /= 10) ++digits;
  if (twoDigits && digits < 2) digits = 2;
  return (value < 0 ? 1 : 0) + digits;
}

// How many units the decimal text of `value` takes, at least two digits after the sign when
// asked.
std::size_t DecimalWidth(std::int64_t value, bool twoDigits) {
  const auto magnitude = static_cast<std::uint64_t>(value);
  if (magnitude >= 10'000) return LargeDecimalWidth(value, twoDigits);
  if (magnitude >= 100) return magnitude >= 1000 ? 4 : 3;
  return magnitude >= 10 || twoDigits ? 2 : 1;
}

// Writes the decimal text of a value outside 0..99 at `to`; answers how many units it wrote.
std::size_t WriteLargeDecimal(char16_t* to, std::int64_t value, bool twoDigits) {
  if (value >= 0 && value < 10'000) {  // days without years
    const auto high = static_cast<std::uint64_t>(value) / 100;
    const std::size_t length = high >= 10 ? 4 : 3;
    if (high >= 10) {
      WritePair(to, high);
    } else {
      to[0] = static_cast<char16_t>(u'0' + high);
    }
    WritePair(to + length - 2, static_cast<std::uint64_t>(value) % 100);
    return length;
  }
  const std::size_t length = LargeDecimalWidth(value, twoDigits);
  std::uint64_t magnitude = Magnitude(value);
  to[0] = u'-';  // a digit takes its place when the value is not negative
  for (std::size_t at = length; at-- > (value < 0 ? 1 : 0); magnitude /= 10) {
    to[at] = static_cast<char16_t>(u'0' + magnitude % 10);
  }
  return length;
}

// Writes the decimal text of `value` at `to`, at least two digits after the sign when asked;
// answers how many units it wrote, DecimalWidth of them.
inline std::size_t WriteDecimal(char16_t* to, std::int64_t value, bool twoDigits) {
  const auto magnitude = static_cast<std::uint64_t>(value);
  if (magnitude >= 100) return WriteLargeDecimal(to, value, twoDigits);
  if (magnitude >= 10 || twoDigits) {  // the usual counter values
    WritePair(to, magnitude);
    return 2;
  }
  to[0] = static_cast<char16_t>(u'0' + magnitude);
  return 1;
}

// The two-letter tags, then the one-letter tags, each replaced over the whole text. Every
// tag starts with the only '%' it holds and a number holds no '%' and no letter, so no two
// tags overlap and no replacement forms a new one: one scan that tries the two-letter form
// first at each '%' finds the same tags.
std::u32string MarkTags(std::u16string_view text) {
  std::u32string tagged;
  tagged.reserve(text.size());
  for (std::size_t at = 0; at < text.size(); ++at) {
    const int unit = text[at] == u'%' && at + 1 < text.size() ? LetterIndex(text[at + 1]) : -1;
    if (unit < 0) {
      tagged += text[at];
      continue;
    }
    const bool twoDigits = at + 2 < text.size() && text[at + 2] == text[at + 1];
    tagged += Mark(unit, twoDigits);
    at += twoDigits ? 2 : 1;
  }
  return tagged;
}

// The first "[<letter>" and the first "]" after it, as their positions.
template <typename Text>
std::optional<std::pair<std::size_t, std::size_t>> FindBracket(const Text& text, char16_t letter) {
  using Unit = typename Text::value_type;
  const Unit opening[] = {Unit{u'['}, Unit{letter}};
  const std::size_t open = text.find(opening, 0, 2);
  if (open == Text::npos) return std::nullopt;
  const std::size_t close = text.find(Unit{u']'}, open);
  if (close == Text::npos) return std::nullopt;
  return std::pair{open, close};
}

// Every occurrence of `what`, found left to right without overlapping in `text` as it
// stands, replaced by `with`.
template <typename Text>
Text ReplaceEvery(const Text& text, const Text& what, const Text& with) {
  Text out;
  out.reserve(text.size());
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(what, from)) != Text::npos; from = at + what.size()) {
    out.append(text, from, at - from).append(with);
  }
  return out.append(text, from);
}

// The pass of the unit's bracket letter: the first bracket and every copy of it go, or give
// way to the bracket's text. Answers the bracket evaluated, empty when none was.
template <typename Text>
Text EvaluateBracket(Text& text, int unit, bool isOne) {
  const auto found = FindBracket(text, kBracketLetters[unit]);
  if (!found) return {};
  const auto [open, close] = *found;
  Text bracket = text.substr(open, close - open + 1);
  text = ReplaceEvery(text, bracket, isOne ? Text{} : bracket.substr(2, bracket.size() - 3));
  return bracket;
}

// The length left by the cut: 129 units, one fewer where the 129th would be the first half
// of a surrogate pair (half a pair is no character: the host would show a replacement mark).
// `text` holds at least one unit past the cut when it is longer.
std::size_t CutLength(const char16_t* text, std::size_t length) {
  if (length <= kMaxNickLength) return length;
  const bool splitsPair =
      IsHighSurrogate(text[kMaxNickLength - 1]) && IsLowSurrogate(text[kMaxNickLength]);
  return splitsPair ? kMaxNickLength - 1 : kMaxNickLength;
}

// The whole cascade on the real text, numbers written in.
std::u16string ExpandStepwise(std::u32string_view tagged, AskedUnits asked,
                              const CounterParts& parts) {
  std::u16string text;
  for (const char32_t unit : tagged) {
    if (!IsMark(unit)) {
      text += static_cast<char16_t>(unit);
      continue;
    }
    char16_t digits[kMaxDecimal];
    text.append(digits,
                WriteDecimal(digits, parts.*kUnitParts[MarkUnit(unit)], MarkTwoDigits(unit)));
  }
  for (int unit = 0; unit < static_cast<int>(kUnitCount); ++unit) {
    if (BracketsCount(unit, asked)) EvaluateBracket(text, unit, parts.*kUnitParts[unit] == 1);
  }
  text.resize(CutLength(text.data(), text.size()));
  return text;
}

// A bracket holding a digit, a '-' or a number could also match where a number's text lines
// up with it, which the marks cannot show; a bracket without them matches exactly where it
// does on the marks.
bool MatchesAsMarked(std::u32string_view bracket) {
  return std::none_of(bracket.begin(), bracket.end(), [](char32_t unit) {
    return IsMark(unit) || unit == U'-' || (unit >= U'0' && unit <= U'9');
  });
}

// One unit past the cut shows whether the cut splits a pair.
constexpr std::size_t kEnough = kMaxNickLength + 1;

}  // namespace

NickTemplate::NickTemplate() { Read({}); }

// Makes every plan now, so that no refresh has to: a plan is shared by all the sets of units
// at 1 that agree on the units whose brackets it evaluated, since the others' passes find
// no bracket and change nothing.
void NickTemplate::Read(std::u16string_view nick) {
  static_assert(std::tuple_size_v<decltype(planFor_)> == 1u << kUnitCount);
  source_.assign(nick);
  asked_ = UnitsAskedBy(nick);
  tagged_ = MarkTags(nick);
  plans_.clear();
  for (unsigned unitsAtOne = 0; unitsAtOne < planFor_.size(); ++unitsAtOne) {
    const auto same =
        std::find_if(plans_.begin(), plans_.end(), [&](const std::unique_ptr<Plan>& plan) {
          return ((unitsAtOne ^ plan->unitsAtOne) & plan->evaluated) == 0;
        });
    planFor_[unitsAtOne] =
        same != plans_.end() ? same->get() : plans_.emplace_back(MakePlan(unitsAtOne)).get();
  }
}

// Runs the bracket passes once on the tagged text: numbers never hold "[", "]" or a letter,
// so the brackets found there are the ones found in the real text, as long as each bracket
// matches its copies exactly where it does on the marks.
std::unique_ptr<NickTemplate::Plan> NickTemplate::MakePlan(unsigned unitsAtOne) const {
  auto plan = std::make_unique<Plan>();
  plan->unitsAtOne = unitsAtOne;
  std::u32string text = tagged_;
  for (int unit = 0; unit < static_cast<int>(kUnitCount); ++unit) {
    if (!BracketsCount(unit, asked_)) continue;
    const std::u32string bracket = EvaluateBracket(text, unit, (unitsAtOne >> unit & 1) != 0);
    if (bracket.empty()) continue;
    plan->evaluated |= 1u << unit;
    if (!MatchesAsMarked(bracket)) {
      plan->stepwise = true;
      return plan;
    }
  }
  for (const char32_t unit : text) {
    if (!IsMark(unit)) {
      plan->text += static_cast<char16_t>(unit);
      continue;
    }
    Number& number = plan->numbers.emplace_back();
    number.textEnd = static_cast<std::uint32_t>(plan->text.size());
    number.part = kUnitParts[MarkUnit(unit)];
    number.twoDigits = MarkTwoDigits(unit);
  }
  plan->layout.resize(kEnough + kMaxDecimal);
  return plan;
}

// Writes the whole expansion into the plan's layout, noting where each number went; stops
// once past the cut.
void NickTemplate::Layout(Plan& plan, const CounterParts& parts) {
  char16_t* const out = plan.layout.data();
  std::size_t length = 0;
  std::size_t from = 0;
  const auto copyText = [&](std::size_t to) {
    const std::size_t run = std::min(to - from, kEnough - length);
    std::copy_n(plan.text.data() + from, run, out + length);
    length += run;
    from = to;
  };
  for (Number& number : plan.numbers) {
    copyText(number.textEnd);
    if (length >= kEnough) break;
    number.at = static_cast<std::uint32_t>(length);
    length += WriteDecimal(out + length, parts.*number.part, number.twoDigits);
    number.width = static_cast<std::uint8_t>(length - number.at);
    if (length >= kEnough) break;
  }
  if (length < kEnough) copyText(plan.text.size());
  plan.layoutLength = CutLength(out, length);
  plan.layoutHolds = length <= kMaxNickLength;
}

std::u16string NickTemplate::Expand(const CounterParts& parts) {
  const unsigned unitsAtOne = (parts.nSeconds == 1 ? 1u : 0u) | (parts.nMinutes == 1 ? 2u : 0u) |
                              (parts.nHours == 1 ? 4u : 0u) | (parts.nDays == 1 ? 8u : 0u) |
                              (parts.nWeeks == 1 ? 16u : 0u) | (parts.nYears == 1 ? 32u : 0u) |
                              (parts.nWorkDays == 1 ? 64u : 0u);
  Plan& plan = *planFor_[unitsAtOne];
  if (plan.stepwise) return ExpandStepwise(tagged_, asked_, parts);
  const bool sameWidths =
      plan.layoutHolds &&
      std::all_of(plan.numbers.begin(), plan.numbers.end(), [&](const Number& number) {
        return DecimalWidth(parts.*number.part, number.twoDigits) == number.width;
      });
  if (!sameWidths) {
    Layout(plan, parts);
    return {plan.layout.data(), plan.layoutLength};
  }
  // The same text with numbers of the same widths in the same places: only digits change.
  std::u16string nick(plan.layout.data(), plan.layoutLength);
  for (const Number& number : plan.numbers) {
    WriteDecimal(nick.data() + number.at, parts.*number.part, number.twoDigits);
  }
  return nick;
}

std::u16string ExpandTemplate(std::u16string_view workNick, const CounterParts& parts) {
  NickTemplate nick;
  nick.Use(workNick);
  return nick.Expand(parts);
}

}  // namespace velmora
