#pragma once
// UTF-16 text helpers. Everything that reaches the host or the store is UTF-16, so no
// code page can lose a character on the way.
#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

// Lone surrogates become U+FFFD.
std::string ToUtf8(std::u16string_view text);
// Invalid sequences become U+FFFD.
std::u16string FromUtf8(std::string_view text);

std::u16string AsciiLower(std::u16string_view text);
bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b);

// Zero-padded to `width` units, the sign among them ("-05" for -5 at width 3).
std::u16string DecimalText(std::int64_t value, std::size_t width = 1);

constexpr bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
constexpr bool IsSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

}  // namespace velmora
