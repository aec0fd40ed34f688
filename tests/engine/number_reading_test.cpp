#include "engine/number_reading.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>

#include "base/text.h"

namespace velmora {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

TEST(ReadNumber, ReadsTheLongestNumberAtTheStart) {
  // clang-format off
  const std::pair<std::u16string, double> cases[] = {
      {u"45", 45}, {u"4 5", 45}, {u" \t\n12", 12}, {u"90 sec", 90}, {u"abc", 0}, {u"", 0},
      {u"-12.5", -12.5}, {u"+7", 7}, {u".5", 0.5}, {u"5.", 5}, {u"1.2.3", 1.2}, {u"--5", 0},
      {u"1,5", 1}, {u"1E3", 1000}, {u"2e-2", 0.02}, {u"2D2", 200}, {u"2d+2", 200},
      {u"1 e 2", 100}, {u"5E", 5}, {u"5Ex", 5}, {u"5e-", 5}, {u"12\u0661", 12},
      {u"&H1F", 31}, {u"&hff", 255}, {u"&HFFFF", 65'535}, {u"&O17", 15}, {u"&o778", 63},
      {u"&H", 0}, {u"&Z1", 0}, {u"-&H5", 0},
      {u"1E999", kInfinity}, {u"-1e999", -kInfinity}, {u"0.001E400", kInfinity},
      {u"1E-999", 0}, {u"1E99999999999999999999999", kInfinity}};
  // clang-format on
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(ReadNumber(text, u'.'), expected) << '"' << ToUtf8(text) << '"';
  }
  EXPECT_FALSE(std::signbit(ReadNumber(u"-", u'.'))) << "no negative zero";
  EXPECT_FALSE(std::signbit(ReadNumber(u"-0.0", u'.')));
}

TEST(ReadNumber, TakesTheUsersOwnSeparatorBesidesThePoint) {
  const std::tuple<std::u16string, char16_t, double> cases[] = {
      {u"7,5", u',', 7.5}, {u"7.5", u',', 7.5},  {u"-0,25", u',', -0.25}, {u",5", u',', 0.5},
      {u"1,2.3", u',', 1.2}, {u"1.2,3", u',', 1.2}, {u"7 , 5", u',', 7.5}, {u"2,5E1", u',', 25},
      {u"1,5", u'.', 1},   {u"7٫5", u'٫', 7.5}};
  for (const auto& [text, separator, expected] : cases) {
    EXPECT_EQ(ReadNumber(text, separator), expected)
        << '"' << ToUtf8(text) << "\" with separator " << ToUtf8(std::u16string(1, separator));
  }
}

TEST(ReadWholeNumber, AcceptsOnlyOneNumberWithBlanksAround) {
  const std::pair<std::u16string, double> good[] = {
      {u" 42 ", 42}, {u"2.5", 2.5}, {u"&H10", 16}, {u"-1e2", -100}, {u"\t7\n", 7}};
  for (const auto& [text, expected] : good) {
    double value = -1;
    EXPECT_TRUE(ReadWholeNumber(text, value)) << ToUtf8(text);
    EXPECT_EQ(value, expected) << ToUtf8(text);
  }
  for (const std::u16string text :
       {u"", u"  ", u"4 2", u"42x", u"-", u".", u"1E", u"&H", u"1E999"}) {
    double value = -1;
    EXPECT_FALSE(ReadWholeNumber(text, value)) << '"' << ToUtf8(text) << "\" gave " << value;
  }
}

TEST(NumberText, WritesFifteenDigitsWithTheRegionalSeparator) {
  // clang-format off
  const std::pair<double, std::string> cases[] = {
      {45, "45"}, {2.5, "2,5"}, {0.1 + 0.2, "0,3"}, {-0.0, "0"}, {-7.25, "-7,25"}, {1e20, "1E+20"},
      {1e-5, "1E-05"}, {123'456'789'012'345, "123456789012345"},
      {1'234'567'890'123'456, "1,23456789012346E+15"}, {kInfinity, "Infinity"},
      {12'345'678'901'234.25, "12345678901234,2"}, {12'345'678'901'234.75, "12345678901234,8"},
      {999'999'999'999'999.5, "1E+15"}, {5e-324, "4,94065645841247E-324"},
      {2.2250738585072009e-308, "2,2250738585072E-308"},
      {1.7976931348623157e308, "1,7976931348623157E+308"}};
  // clang-format on
  for (const auto& [value, expected] : cases)
    EXPECT_EQ(ToUtf8(NumberText(value, u',')), expected) << value;
  EXPECT_EQ(ToUtf8(NumberText(2.5, u'.')), "2.5");
}

TEST(RoundToInt32, TakesHalvesToTheEvenNeighbour) {
  // clang-format off
  const std::pair<double, std::optional<std::int32_t>> cases[] = {
      {2.5, 2}, {7.5, 8}, {-2.5, -2}, {-3.5, -4}, {3.4999, 3}, {-0.5, 0}, {0.5000001, 1},
      {2'147'483'647.4, 2'147'483'647}, {2'147'483'647.5, std::nullopt},
      {-2'147'483'648.5, -2'147'483'648}, {kInfinity, std::nullopt}, {std::nan(""), std::nullopt}};
  // clang-format on
  for (const auto& [value, expected] : cases) EXPECT_EQ(RoundToInt32(value), expected) << value;
}

}  // namespace
}  // namespace velmora
