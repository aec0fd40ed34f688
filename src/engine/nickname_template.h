#pragma once
// The nickname template language: %yy %ww %dd %hh %mm %ss %bb, %y %w %d %h %m %s %b and
// [<unit>text].
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/counter.h"

namespace velmora {

inline constexpr std::size_t kMaxNickLength = 129;

// A template read once, so that each refresh only writes the numbers between pieces of text
// worked out before. The tags become decimal text, the two-letter ones at least two digits
// with a negative value's sign in front ("-03"); then the first bracket of each unit letter
// (s, m, h, d, w, y, b) and its identical copies give way to their text, or to nothing when
// the unit is exactly 1 (a week or working-day bracket only in a template asking for that
// unit, so that older texts such as "[bored]" keep their brackets); the result is cut to 129 units without splitting a surrogate pair.
class NickTemplate {
 public:
  NickTemplate();  // the empty template
  NickTemplate(const NickTemplate&) = delete;
  NickTemplate& operator=(const NickTemplate&) = delete;

  // Reads `nick`, unless it is the template already read.
  void Use(std::u16string_view nick) {
    // Asked on every refresh; memcmp, as the character traits of char16_t compare unit by unit.
    if (nick.size() != source_.size() ||
        std::memcmp(nick.data(), source_.data(), nick.size() * sizeof(char16_t)) != 0) {
      Read(nick);
    }
  }
  [[nodiscard]] AskedUnits Asked() const { return asked_; }
  std::u16string Expand(const CounterParts& parts);

 private:
  struct Number {
    std::uint32_t textEnd;  // the text before the number ends here in Plan::text
    std::uint32_t at;       // where the last layout wrote it
    std::int64_t CounterParts::*part;
    std::uint8_t width;  // how many units it took there
    bool twoDigits;
  };
  // Which brackets go and what they leave depends only on which units are exactly 1.
  struct Plan {
    unsigned unitsAtOne = 0;  // the units at 1 it was made for, a bit each in bracket order
    unsigned evaluated = 0;   // the units whose brackets it found
    bool stepwise = false;    // the brackets must be evaluated on the real text every time
    std::u16string text;      // the text between the numbers, one piece after the other
    std::vector<Number> numbers;
    // The last expansion written in full. While it was not cut and no number changes its
    // width, a refresh copies it and writes only the digits.
    std::u16string layout;
    std::size_t layoutLength = 0;
    bool layoutHolds = false;
  };

  void Read(std::u16string_view nick);
  [[nodiscard]] std::unique_ptr<Plan> MakePlan(unsigned unitsAtOne) const;
  static void Layout(Plan& plan, const CounterParts& parts);

  std::u16string source_;
  AskedUnits asked_;
  std::u32string tagged_;  // the template with a mark above every UTF-16 unit for each tag
  std::vector<std::unique_ptr<Plan>> plans_;
  std::array<Plan*, 128> planFor_{};  // by units at 1
};

// Reads `workNick` and expands it once.
std::u16string ExpandTemplate(std::u16string_view workNick, const CounterParts& parts);

}  // namespace velmora
