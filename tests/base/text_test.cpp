#include "base/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>

namespace velmora {
namespace {

std::string Hex(std::u16string_view text) {
  std::string out;
  char unit[8];
  for (const char16_t c : text) {
    std::snprintf(unit, sizeof unit, "%s%04X", out.empty() ? "" : " ", static_cast<unsigned>(c));
    out += unit;
  }
  return out;
}

TEST(Utf8, EncodesEveryLengthAndPairsSurrogates) {
  const struct {
    std::u16string utf16;
    std::string utf8;
  } cases[] = {
      {u"", ""},
      {u"A~", "A~"},
      {u"\u00E9", "\xC3\xA9"},                 // two bytes
      {u"\u20AC", "\xE2\x82\xAC"},             // three bytes
      {u"\uFFFF", "\xEF\xBF\xBF"},             // the last unit below the pairs
      {u"\U0001F600", "\xF0\x9F\x98\x80"},     // a pair is one four-byte character
      {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},     // the last code point
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToUtf8(c.utf16), c.utf8) << Hex(c.utf16);
    EXPECT_EQ(Hex(FromUtf8(c.utf8)), Hex(c.utf16)) << Hex(c.utf16);
  }
}

TEST(Utf8, WritesEachLoneSurrogateAsOneReplacementCharacter) {
  const struct {
    std::u16string utf16;
    std::string utf8;
  } cases[] = {
      {u"a\xD800", "a\xEF\xBF\xBD"},                     // high at the end
      {u"\xDC00z", "\xEF\xBF\xBDz"},                     // low with no high before it
      {u"\xD800\xD800\xDC00", "\xEF\xBF\xBD\xF0\x90\x80\x80"},  // the second high pairs
      {u"\xDC00\xD800", "\xEF\xBF\xBD\xEF\xBF\xBD"},     // the wrong order is no pair
  };
  for (const auto& c : cases) EXPECT_EQ(ToUtf8(c.utf16), c.utf8) << Hex(c.utf16);
}

TEST(Utf8, ReadsEachByteOfAnInvalidSequenceAsOneReplacementCharacter) {
  const struct {
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {"\x80", u"\uFFFD"},                                  // a continuation with no lead
      {"\xFF" "a", u"\uFFFDa"},                             // no lead byte at all
      {"\xE2\x82", u"\uFFFD\uFFFD"},                        // cut short at the end
      {"\xE2(\xAC", u"\uFFFD(\uFFFD"},                      // cut short by another character
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                        // an overlong '/'
      {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},              // an overlong '/' in three bytes
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},              // an encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},    // past U+10FFFF
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},  // NUL is text
  };
  for (const auto& c : cases) EXPECT_EQ(Hex(FromUtf8(c.utf8)), Hex(c.utf16)) << Hex(c.utf16);
}

TEST(DecimalText, PadsWithZerosAfterTheSignAndWritesTheWholeRange) {
  const std::tuple<std::int64_t, std::size_t, std::u16string> cases[] = {
      {0, 1, u"0"}, {7, 2, u"07"}, {-5, 3, u"-05"}, {-5, 1, u"-5"}, {12'345, 2, u"12345"},
      {INT64_MIN, 1, u"-9223372036854775808"}, {INT64_MAX, 1, u"9223372036854775807"}};
  for (const auto& [value, width, expected] : cases) {
    EXPECT_EQ(DecimalText(value, width), expected) << value << " at width " << width;
  }
}

}  // namespace
}  // namespace velmora
