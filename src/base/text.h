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

std::u16string DecimalText(std::int64_t value);

// Every non-overlapping occurrence of `what`, found left to right in `text` as it stands,
// replaced by `with`; inserted text is not searched again. An empty `what` changes nothing.
std::u16string ReplaceAll(std::u16string_view text, std::u16string_view what,
                          std::u16string_view with);

constexpr bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
constexpr bool IsSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

inline bool Contains(std::u16string_view text, std::u16string_view what) {
  return text.find(what) != std::u16string_view::npos;
}

}  // namespace velmora
