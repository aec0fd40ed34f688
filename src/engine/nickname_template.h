#pragma once
// The nickname template language: %yy %dd %hh %mm %ss, %y %d %h %m %s and [<unit>text].
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/counter.h"

namespace velmora {

inline constexpr std::size_t kMaxNickLength = 129;

// At least two digits; a negative value keeps its sign in front ("-03").
std::u16string TwoDigitText(std::int64_t value);

// Replaces the two-letter tags, then the one-letter tags, then the first bracket of each
// unit letter (s, m, h, d, y) and its identical copies, and cuts the result to 129 units
// without splitting a surrogate pair.
std::u16string ExpandTemplate(std::u16string_view workNick, const CounterParts& parts);

}  // namespace velmora
