#include "engine/nickname_template.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "base/text.h"

namespace velmora {

namespace {

// Bracket letters in the order they are evaluated; the tags use the same five letters, and
// a unit's index here is its index everywhere in this file.
constexpr std::u16string_view kBracketLetters = u"smhdy";
constexpr unsigned kUnitCount = kBracketLetters.size();
using UnitValues = std::array<std::int64_t, kUnitCount>;

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
    case U'y':
      return 4;
    default:
      return -1;
  }
}

UnitValues ValuesOf(const CounterParts& parts) {
  return {parts.nSeconds, parts.nMinutes, parts.nHours, parts.nDays, parts.nYears};
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

void WritePair(char16_t* to, std::uint64_t value) {
  std::memcpy(to, &kDigitPairs[value * 2], 2 * sizeof(char16_t));
}

// Writes the decimal text of a value below 0 or above 9999 at `to`; answers how many units
// it wrote.
std::size_t WriteLargeDecimal(char16_t* to, std::int64_t value, bool twoDigits) {
  std::uint64_t magnitude =
      value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  std::size_t digits = 1;
  for (std::uint64_t rest = magnitude; rest >= 10; rest /= 10) ++digits;
  if (twoDigits && digits < 2) digits = 2;
  const std::size_t length = (value < 0 ? 1 : 0) + digits;
  to[0] = u'-';
  for (std::size_t at = length; at-- > length - digits; magnitude /= 10) {
    to[at] = static_cast<char16_t>(u'0' + magnitude % 10);
  }
  return length;
}

// Writes the decimal text of `value` at `to`, at least two digits after the sign when asked;
// answers how many units it wrote.
std::size_t WriteDecimal(char16_t* to, std::int64_t value, bool twoDigits) {
  const auto magnitude = static_cast<std::uint64_t>(value);
  if (magnitude < 100) {  // the usual counter values
    if (magnitude >= 10 || twoDigits) {
      WritePair(to, magnitude);
      return 2;
    }
    to[0] = static_cast<char16_t>(u'0' + magnitude);
    return 1;
  }
  if (magnitude < 10'000) {  // days without years
    const std::uint64_t high = magnitude / 100;
    const std::size_t length = high >= 10 ? 4 : 3;
    if (high >= 10) {
      WritePair(to, high);
    } else {
      to[0] = static_cast<char16_t>(u'0' + high);
    }
    WritePair(to + length - 2, magnitude % 100);
    return length;
  }
  return WriteLargeDecimal(to, value, twoDigits);
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
std::u16string ExpandStepwise(std::u32string_view tagged, const UnitValues& values) {
  std::u16string text;
  for (const char32_t unit : tagged) {
    if (!IsMark(unit)) {
      text += static_cast<char16_t>(unit);
      continue;
    }
    char16_t digits[kMaxDecimal];
    text.append(digits, WriteDecimal(digits, values[MarkUnit(unit)], MarkTwoDigits(unit)));
  }
  for (int unit = 0; unit < static_cast<int>(kUnitCount); ++unit)
    EvaluateBracket(text, unit, values[unit] == 1);
  text.resize(CutLength(text.data(), text.size()));
  return text;
}

// A bracket holding a digit, a '-' or a number could also match where a number's text lines
// up with it, which the marks cannot show; one of letters and signs alone matches exactly
// where it does on the marks.
bool MatchesAsMarked(std::u32string_view bracket) {
  return std::none_of(bracket.begin(), bracket.end(), [](char32_t unit) {
    return IsMark(unit) || unit == U'-' || (unit >= U'0' && unit <= U'9');
  });
}

// Text is copied in whole chunks of this many units: a copy may write past its end into room
// the next piece overwrites, and read past its end into the padding after Plan::text.
constexpr std::size_t kChunk = 16;

void CopyInChunks(char16_t* to, const char16_t* from, std::size_t count) {
  std::memcpy(to, from, kChunk * sizeof(char16_t));  // most pieces: one copy, no branch
  for (std::size_t at = kChunk; at < count; at += kChunk)
    std::memcpy(to + at, from + at, kChunk * sizeof(char16_t));
}

// One unit past the cut shows whether the cut splits a pair.
constexpr std::size_t kEnough = kMaxNickLength + 1;
// Room for that, and for a chunk or a number written beyond it.
constexpr std::size_t kRoom = kEnough + kChunk + kMaxDecimal;

}  // namespace

struct NickTemplate::Writer {
  // A plan that cannot reach the cut is written without looking for it.
  static std::size_t Whole(char16_t* out, const Plan& plan, const UnitValues& values) {
    const char16_t* const text = plan.text.data();
    std::size_t length = 0;
    std::size_t from = 0;
    for (const Number& number : plan.numbers) {
      CopyInChunks(out + length, text + from, number.textEnd - from);
      length += number.textEnd - from;
      from = number.textEnd;
      length += WriteDecimal(out + length, values[number.unit], number.twoDigits);
    }
    CopyInChunks(out + length, text + from, plan.textEnd - from);
    return length + plan.textEnd - from;
  }

  // Stops once past the cut.
  static std::size_t UpToCut(char16_t* out, const Plan& plan, const UnitValues& values) {
    const char16_t* const text = plan.text.data();
    std::size_t length = 0;
    std::size_t from = 0;
    for (const Number& number : plan.numbers) {
      const std::size_t run = std::min<std::size_t>(number.textEnd - from, kEnough - length);
      CopyInChunks(out + length, text + from, run);
      length += run;
      from = number.textEnd;
      if (length >= kEnough) return length;
      length += WriteDecimal(out + length, values[number.unit], number.twoDigits);
      if (length >= kEnough) return length;
    }
    const std::size_t run = std::min<std::size_t>(plan.textEnd - from, kEnough - length);
    CopyInChunks(out + length, text + from, run);
    return length + run;
  }
};

void NickTemplate::Read(std::u16string_view nick) {
  read_ = true;
  source_.assign(nick);
  asked_ = UnitsAskedBy(nick);
  tagged_ = MarkTags(nick);
  for (std::unique_ptr<Plan>& plan : plans_) plan.reset();
}

// Runs the bracket passes once on the tagged text: numbers never hold "[", "]" or a letter,
// so the brackets found there are the ones found in the real text, as long as each bracket
// matches its copies exactly where it does on the marks.
const NickTemplate::Plan& NickTemplate::MakePlan(unsigned unitsAtOne) {
  std::unique_ptr<Plan>& plan = plans_[unitsAtOne];
  plan = std::make_unique<Plan>();
  std::u32string text = tagged_;
  for (int unit = 0; unit < static_cast<int>(kUnitCount); ++unit) {
    if (!MatchesAsMarked(EvaluateBracket(text, unit, (unitsAtOne >> unit & 1) != 0))) {
      plan->stepwise = true;
      return *plan;
    }
  }
  for (const char32_t unit : text) {
    if (!IsMark(unit)) {
      plan->text += static_cast<char16_t>(unit);
      continue;
    }
    plan->numbers.push_back({static_cast<std::uint32_t>(plan->text.size()),
                             static_cast<std::uint8_t>(MarkUnit(unit)), MarkTwoDigits(unit)});
  }
  plan->textEnd = static_cast<std::uint32_t>(plan->text.size());
  plan->mayPassCut = plan->text.size() + plan->numbers.size() * kMaxDecimal > kMaxNickLength;
  plan->text.append(kChunk, u'\0');
  return *plan;
}

std::u16string NickTemplate::Expand(const CounterParts& parts) {
  const UnitValues values = ValuesOf(parts);
  unsigned unitsAtOne = 0;
  for (unsigned unit = 0; unit < kUnitCount; ++unit)
    unitsAtOne |= (values[unit] == 1 ? 1u : 0u) << unit;
  const Plan& plan = PlanFor(unitsAtOne);
  if (plan.stepwise) return ExpandStepwise(tagged_, values);
  char16_t out[kRoom];
  const std::size_t length =
      plan.mayPassCut ? Writer::UpToCut(out, plan, values) : Writer::Whole(out, plan, values);
  return {out, CutLength(out, length)};
}

std::u16string ExpandTemplate(std::u16string_view workNick, const CounterParts& parts) {
  NickTemplate nick;
  nick.Use(workNick);
  return nick.Expand(parts);
}

}  // namespace velmora
