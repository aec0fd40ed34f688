#pragma once
#include <cstdint>

#include "ports/key_codes.h"

namespace velmora::script {

// A character typed by other means than a key of the layout (an input method, a paste).
inline constexpr std::int32_t kKeyPacket = 231;

// The key code that comes with a typed character, as a US keyboard gives it: digits and
// letters their own (upper-case) codes, Enter, Backspace, Tab and blank theirs, punctuation
// the code of the key that carries it, and anything else kKeyPacket. Never 33 to 46, so a
// typed '%' or '.' cannot pass for an arrow, Home, End or Delete.
std::int32_t KeyCodeFor(char16_t character);

}  // namespace velmora::script
