#include "engine/nickname_template.h"

#include <gtest/gtest.h>

#include <string>

#include "base/text.h"

namespace velmora {
namespace {

std::string Expanded(std::u16string_view nick, std::int64_t secondsDiff, std::int32_t countType) {
  const CounterParts parts = CountParts(secondsDiff, countType, nick);
  return ToUtf8(ExpandTemplate(nick, parts));
}

TEST(ExpandTemplate, GivesTheWorkedNicknames) {
  EXPECT_EQ(Expanded(u"%dd day[ds], %h hour[hs] and %mm:%ss left", 93'784, kCountDown),
            "01 day, 2 hours and 03:04 left");
  EXPECT_EQ(Expanded(u"Together %y year[ys] and %d day[ds]!", -34'578'000, kCountUp),
            "Together 1 year and 35 days!");
  EXPECT_EQ(Expanded(u"%h hours left", 184'200, kCountDown), "51 hours left");
}

struct TemplateCase {
  std::u16string workNick;
  CounterParts parts;  // years, days, hours, minutes, seconds
  std::string expected;
};

TEST(ExpandTemplate, ReplacesTagsThenTheFirstBracketOfEachLetter) {
  const TemplateCase cases[] = {
      {u"", {1, 1, 1, 1, 1}, ""},
      {u"[s]x[s]", {0, 0, 0, 0, 5}, "x"},
      {u"[s]x", {0, 0, 0, 0, 1}, "x"},
      {u"day[ds] Tag[de]", {0, 2, 0, 0, 0}, "days Tag[de]"},
      {u"day[ds] day[ds]", {0, 1, 0, 0, 0}, "day day"},
      {u"day[ds] day[ds]", {0, 3, 0, 0, 0}, "days days"},
      {u"%d day[ds", {0, 1, 0, 0, 0}, "1 day[ds"},
      {u"[Ds] %D %", {0, 2, 0, 0, 0}, "[Ds] %D %"},
      {u"%d hour[hs]", {0, 1, 2, 0, 0}, "1 hours"},  // a bracket follows its own letter
      {u"%ss %dd", {0, 123, 0, 0, 7}, "07 123"},
      {u"%d %dd [ds]", {0, -3, 0, 0, 0}, "-3 -03 s"},
      {u"%yyy %%m %mmm", {1, 0, 0, 4, 0}, "01y %4 04m"},
      {u"[d%d]", {0, 2, 0, 0, 0}, "2"},    // tags are replaced before brackets
      {u"[s[mx]]", {0, 0, 0, 2, 2}, "x"},  // a bracket may come out of another's text
      {u"[s[mx]]", {0, 0, 0, 1, 2}, ""},
      {u"[[dyx]]", {2, 2, 0, 0, 0}, "x"},
  };
  for (const TemplateCase& c : cases) {
    EXPECT_EQ(ToUtf8(ExpandTemplate(c.workNick, c.parts)), c.expected)
        << "template " << ToUtf8(c.workNick);
  }
}

TEST(TwoDigitText, PadsToTwoDigitsAfterTheSign) {
  // clang-format off
  const std::pair<std::int64_t, std::string> cases[] = {
      {0, "00"}, {9, "09"}, {10, "10"}, {123, "123"}, {-3, "-03"}, {-10, "-10"},
      {INT64_MIN, "-9223372036854775808"}};
  // clang-format on
  for (const auto& [value, expected] : cases)
    EXPECT_EQ(ToUtf8(TwoDigitText(value)), expected) << value;
}

TEST(ExpandTemplate, CutsTheExpandedTextTo129Units) {
  const std::u16string tail(127, u'x');
  EXPECT_EQ(ExpandTemplate(u"%d" + tail, {0, 123, 0, 0, 0}), u"123" + tail.substr(1));
  const std::u16string plain(140, u'p');
  EXPECT_EQ(ExpandTemplate(plain, {}), plain.substr(0, 129));
}

TEST(ExpandTemplate, NeverCutsASurrogatePairInHalf) {
  const std::u16string pair = u"\U0001F600";
  EXPECT_EQ(ExpandTemplate(std::u16string(128, u'a') + pair + u"b", {}), std::u16string(128, u'a'));
  EXPECT_EQ(ExpandTemplate(std::u16string(127, u'a') + pair + u"b", {}),
            std::u16string(127, u'a') + pair);
}

TEST(ExpandTemplate, EvaluatesABracketClosingBeyond32767Units) {
  const std::u16string nick = u"[ds" + std::u16string(40'000, u'x') + u"]end";
  EXPECT_EQ(ExpandTemplate(nick, {0, 1, 0, 0, 0}), u"end");
  EXPECT_EQ(ExpandTemplate(nick, {0, 2, 0, 0, 0}), u"s" + std::u16string(128, u'x'));
}

}  // namespace
}  // namespace velmora
