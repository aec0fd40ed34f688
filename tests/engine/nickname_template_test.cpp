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
  CounterParts parts;  // years, days, hours, minutes, seconds, weeks, working days
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
      {u"%[dd]", {0, 2, 0, 0, 0}, "%d"},        // a tag made by a bracket stays as it is
      {u"[sa[sa]]", {0, 0, 0, 0, 2}, "a[sa]"},  // a bracket's text is not searched again
      {u"[sa[sa]]", {0, 0, 0, 0, 1}, "]"},
      {u"[[sx]dab]", {0, 2, 0, 0, 1}, "ab"},  // a removal forms the first day bracket
      {u"[[sx]dab]", {0, 2, 0, 0, 2}, "[xdab]"},
      {u"[dab] [d[s]ab]", {0, 2, 0, 0, 5}, "ab ab"},  // ... or a copy of it
      // Numbers inside a bracket: its copies are the texts equal after the tags.
      {u"[ds %d] x [ds %d]", {0, 5, 0, 0, 0}, "s 5 x s 5"},
      {u"[ds %d] [ds %dd]", {0, 5, 0, 0, 0}, "s 5 [ds 05]"},
      {u"[ds %d] [ds %dd]", {0, 10, 0, 0, 0}, "s 10 s 10"},
      {u"[ds 1] [ds %d]", {0, 1, 0, 0, 0}, " "},
      {u"[ds 1] [ds %d]", {0, 2, 0, 0, 0}, "s 1 [ds 2]"},
      {u"[m1] [m%h]", {0, 0, 1, 2, 0}, "1 1"},
      {u"[m-] [m%h]", {0, 0, -1, 2, 0}, "- [m-1]"},
      {u"%w week[ws] %ww|%b day[bs] %bb", {0, 0, 0, 0, 0, 1, -2}, "1 week 01|-2 days -02"},
      // Week and working-day brackets only where the template asks for the unit.
      {u"I am [bored] [wet] %W %B", {0, 0, 0, 0, 0, 1, 1}, "I am [bored] [wet] %W %B"},
      // Brackets go in the order s m h d w y b: each removal here forms the next bracket.
      {u"%w[[dx]wab]", {0, 1, 0, 0, 0, 2, 0}, "2ab"},
      {u"%w[[wx]yab]", {2, 0, 0, 0, 0, 1, 0}, "1ab"},
      {u"%b[[yx]bab]", {1, 0, 0, 0, 0, 0, 2}, "2ab"},
  };
  for (const TemplateCase& c : cases) {
    EXPECT_EQ(ToUtf8(ExpandTemplate(c.workNick, c.parts)), c.expected)
        << "template " << ToUtf8(c.workNick);
  }
}

TEST(ExpandTemplate, WritesDecimalTextAndTwoDigitsAfterTheSign) {
  struct NumberCase {
    std::int64_t value;
    std::string decimal;
    std::string twoDigits;
  };
  // clang-format off
  const NumberCase cases[] = {
      {0, "0", "00"}, {9, "9", "09"}, {10, "10", "10"}, {99, "99", "99"}, {100, "100", "100"},
      {123, "123", "123"}, {999, "999", "999"}, {1000, "1000", "1000"}, {9999, "9999", "9999"},
      {10000, "10000", "10000"}, {-1, "-1", "-01"}, {-3, "-3", "-03"}, {-10, "-10", "-10"},
      {-100, "-100", "-100"},
      {INT64_MAX, "9223372036854775807", "9223372036854775807"},
      {INT64_MIN, "-9223372036854775808", "-9223372036854775808"}};
  // clang-format on
  for (const NumberCase& c : cases) {
    EXPECT_EQ(ToUtf8(ExpandTemplate(u"%d|%dd", {0, c.value, 0, 0, 0})),
              c.decimal + "|" + c.twoDigits)
        << c.value;
  }
}

TEST(NickTemplate, ExpandsTheTemplateReadOnceForAnyValues) {
  // One template read once, then values that change which brackets go and how long the
  // numbers are, in both directions; then another template, then the first again.
  struct Refresh {
    std::u16string_view workNick;
    CounterParts parts;
    std::string expected;
  };
  const Refresh refreshes[] = {
      {u"%d day[ds], %h hour[hs]", {0, 1, 2, 0, 0}, "1 day, 2 hours"},
      {u"%d day[ds], %h hour[hs]", {0, 2, 1, 0, 0}, "2 days, 1 hour"},
      {u"%d day[ds], %h hour[hs]", {0, 1, 1, 0, 0}, "1 day, 1 hour"},
      {u"%d day[ds], %h hour[hs]", {0, 1234, -5, 0, 0}, "1234 days, -5 hours"},
      {u"[ds %d] [ds %dd]", {0, 10, 0, 0, 0}, "s 10 s 10"},
      {u"[ds %d] [ds %dd]", {0, 1, 0, 0, 0}, " [ds 01]"},
      {u"[ds %d] [ds %dd]", {0, 7, 0, 0, 0}, "s 7 [ds 07]"},
      {u"%d day[ds], %h hour[hs]", {0, 1, 2, 0, 0}, "1 day, 2 hours"},
      // Whether the day bracket exists at all depends on the seconds.
      {u"[[sx]dab]", {0, 2, 0, 0, 1}, "ab"},
      {u"[[sx]dab]", {0, 1, 0, 0, 1}, ""},
      {u"[[sx]dab]", {0, 1, 0, 0, 2}, "[xdab]"},
      {u"[[sx]dab]", {0, 2, 0, 0, 2}, "[xdab]"},
      {u"%w week[ws] %b day[bs]", {0, 0, 0, 0, 0, 1, 2}, "1 week 2 days"},
      {u"%w week[ws] %b day[bs]", {0, 0, 0, 0, 0, 2, 1}, "2 weeks 1 day"},
  };
  NickTemplate nick;
  for (const Refresh& r : refreshes) {
    nick.Use(r.workNick);
    EXPECT_EQ(ToUtf8(nick.Expand(r.parts)), r.expected) << "template " << ToUtf8(r.workNick);
  }
  nick.Use(u"%yy %s %ww %b");
  EXPECT_EQ(nick.Asked().units,
            AskedUnits::kYears | AskedUnits::kSeconds | AskedUnits::kWeeks | AskedUnits::kWorkDays);
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
