#include "engine/nickname_template.h"

#include <array>
#include <charconv>

#include "base/text.h"

namespace velmora {

namespace {

// Bracket letters in the order they are evaluated; the tags use the same five letters.
constexpr std::u16string_view kBracketLetters = u"smhdy";
using Openings = std::array<std::size_t, kBracketLetters.size()>;  // in bracket order

int LetterIndex(char16_t letter) {
  switch (letter) {
    case u's':
      return 0;
    case u'm':
      return 1;
    case u'h':
      return 2;
    case u'd':
      return 3;
    case u'y':
      return 4;
    default:
      return -1;
  }
}

std::int64_t UnitValue(int letterIndex, const CounterParts& parts) {
  const std::int64_t values[] = {parts.nSeconds, parts.nMinutes, parts.nHours, parts.nDays,
                                 parts.nYears};
  return values[letterIndex];
}

void AppendDecimal(std::u16string& out, std::int64_t value, bool twoDigits) {
  if (value >= 0 && value < 100) {  // the usual counter values, without the general path
    const char16_t tens = static_cast<char16_t>(u'0' + value / 10);
    const char16_t ones = static_cast<char16_t>(u'0' + value % 10);
    if (value >= 10 || twoDigits) out += tens;
    out += ones;
    return;
  }
  char digits[24];
  const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  char16_t wide[26];
  std::size_t length = 0;
  const char* from = digits;
  if (value < 0) wide[length++] = static_cast<char16_t>(*from++);
  if (twoDigits && end - from < 2) wide[length++] = u'0';
  while (from != end) wide[length++] = static_cast<char16_t>(*from++);
  out.append(wide, length);
}

// Notes a "[" at `at` as the first opening of its letter, if it is one and the first.
void NoteOpening(Openings& first, std::size_t at, char16_t next) {
  const int letter = LetterIndex(next);
  if (letter >= 0 && first[letter] == std::u16string_view::npos) first[letter] = at;
}

// The two-letter tags, then the one-letter tags, each replaced over the whole text. Every
// tag starts with the only '%' it holds and the numbers put in its place hold no '%' and no
// letter, so no two tags can overlap or be formed by a replacement: one scan that tries the
// two-letter form first at each '%' gives the same text. For the same reason a "[<letter>"
// of the result is one of the text, and the scan notes where each letter's first one lands.
std::u16string ReplaceTags(std::u16string_view text, const CounterParts& parts, Openings& first) {
  std::u16string out;
  out.reserve(text.size() + 16);
  first.fill(std::u16string_view::npos);
  std::size_t from = 0;
  for (std::size_t at = 0; at + 1 < text.size(); ++at) {
    const char16_t unit = text[at];
    if (unit == u'[') NoteOpening(first, out.size() + (at - from), text[at + 1]);
    if (unit != u'%') continue;
    const int letter = LetterIndex(text[at + 1]);
    if (letter < 0) continue;  // a '%' of no tag stays with the text around it
    out.append(text.substr(from, at - from));
    const bool twoDigits = at + 2 < text.size() && text[at + 2] == text[at + 1];
    AppendDecimal(out, UnitValue(letter, parts), twoDigits);
    from = at + (twoDigits ? 3 : 2);
    at = from - 1;
  }
  out.append(text.substr(from));
  return out;
}

// After a bracket changed the text from `changed` on: openings that end before it stand,
// the others are found again. A replacement may make a new one out of a bracket's text, or
// out of a "[" just before the bracket and the first letter of its text.
void RescanOpenings(std::u16string_view text, std::size_t changed, Openings& first) {
  const std::size_t from = changed == 0 ? 0 : changed - 1;
  for (std::size_t& at : first) {
    if (at != std::u16string_view::npos && at >= from) at = std::u16string_view::npos;
  }
  for (std::size_t at = from; at + 1 < text.size(); ++at) {
    if (text[at] == u'[') NoteOpening(first, at, text[at + 1]);
  }
}

// The "[<letter>" at `first` and the first "]" after it make the bracket; every copy of it
// goes, or gives way to its inner text. False when the bracket is unclosed and stays as
// typed. Copies only ever shrink, so this works in place, and the part not yet scanned is
// never touched before it is searched.
bool EvaluateBracket(std::u16string& text, std::size_t first, std::int64_t value) {
  const std::size_t close = text.find(u']', first);
  if (close == std::u16string::npos) return false;
  const std::u16string bracket = text.substr(first, close - first + 1);
  const std::u16string_view inner =
      value == 1 ? std::u16string_view{}
                 : std::u16string_view{bracket}.substr(2, bracket.size() - 3);
  using Traits = std::char_traits<char16_t>;
  std::size_t read = first;
  std::size_t write = first;
  for (std::size_t at = first; at != std::u16string::npos; at = text.find(bracket, read)) {
    Traits::move(text.data() + write, text.data() + read, at - read);
    write += at - read;
    Traits::copy(text.data() + write, inner.data(), inner.size());
    write += inner.size();
    read = at + bracket.size();
  }
  Traits::move(text.data() + write, text.data() + read, text.size() - read);
  text.resize(write + text.size() - read);
  return true;
}


}  // namespace

std::u16string TwoDigitText(std::int64_t value) {
  std::u16string out;
  AppendDecimal(out, value, true);
  return out;
}

std::u16string ExpandTemplate(std::u16string_view workNick, const CounterParts& parts) {
  Openings first;
  std::u16string nick = ReplaceTags(workNick, parts, first);
  for (int letter = 0; letter < static_cast<int>(first.size()); ++letter) {
    if (first[letter] == std::u16string::npos) continue;
    if (EvaluateBracket(nick, first[letter], UnitValue(letter, parts))) {
      RescanOpenings(nick, first[letter], first);
    }
  }
  if (nick.size() > kMaxNickLength) {
    // Half a surrogate pair is no character: the host would show a replacement mark.
    const bool splitsPair =
        IsHighSurrogate(nick[kMaxNickLength - 1]) && IsLowSurrogate(nick[kMaxNickLength]);
    nick.resize(splitsPair ? kMaxNickLength - 1 : kMaxNickLength);
  }
  return nick;
}

}  // namespace velmora
