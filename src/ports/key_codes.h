#pragma once
// The virtual-key codes the dialog's handlers and the headless fields act on, as Windows
// numbers them; a view hands key-downs to the model in these codes.
#include <cstdint>

namespace velmora {

inline constexpr std::int32_t kKeyBackspace = 8;
inline constexpr std::int32_t kKeyEnter = 13;
inline constexpr std::int32_t kKeyEscape = 27;
inline constexpr std::int32_t kKeySpace = 32;
inline constexpr std::int32_t kKeyPageUp = 33;
inline constexpr std::int32_t kKeyPageDown = 34;
inline constexpr std::int32_t kKeyEnd = 35;
inline constexpr std::int32_t kKeyHome = 36;
inline constexpr std::int32_t kKeyLeft = 37;
inline constexpr std::int32_t kKeyUp = 38;
inline constexpr std::int32_t kKeyRight = 39;
inline constexpr std::int32_t kKeyDown = 40;
inline constexpr std::int32_t kKeyDelete = 46;

}  // namespace velmora
