#pragma once
#include <cstdint>

namespace velmora::script {

// Virtual-key codes named by the script language's KeyDown.
inline constexpr std::int32_t kKeyBackspace = 8;
inline constexpr std::int32_t kKeyEnter = 13;
inline constexpr std::int32_t kKeyEnd = 35;
inline constexpr std::int32_t kKeyHome = 36;
inline constexpr std::int32_t kKeyLeft = 37;
inline constexpr std::int32_t kKeyUp = 38;
inline constexpr std::int32_t kKeyRight = 39;
inline constexpr std::int32_t kKeyDown = 40;
inline constexpr std::int32_t kKeyDelete = 46;
// A character typed by other means than a key of the layout (an input method, a paste).
inline constexpr std::int32_t kKeyPacket = 231;

// The key code that comes with a typed character, as a US keyboard gives it: digits and
// letters their own (upper-case) codes, Enter, Backspace, Tab and blank theirs, punctuation
// the code of the key that carries it, and anything else kKeyPacket. Never 33 to 46, so a
// typed '%' or '.' cannot pass for an arrow, Home, End or Delete.
std::int32_t KeyCodeFor(char16_t character);

}  // namespace velmora::script
