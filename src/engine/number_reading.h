#pragma once
// Numbers typed or stored as text: delay codes and typed delays.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// Reads the longest number at the start of `text`: blanks, tabs and line feeds are ignored
// wherever they stand; then a sign, digits, a fraction after "." or after the user's own
// `regionalSeparator` ("7,5" is 7.5 where the comma is that separator, 1 elsewhere), and an
// E or D exponent; or &H hexadecimal / &O octal digits. The rest is ignored; no number
// reads as 0.
double ReadNumber(std::u16string_view text, char16_t regionalSeparator);

// True when the whole of `text` (blanks around it aside) is one number, as a strict
// conversion of a stored setting needs; the number goes to `value`.
bool ReadWholeNumber(std::u16string_view text, double& value);

// Decimal text with no trailing zeros and `decimalSeparator` before a fraction: 45 gives
// "45", 2.5 gives "2.5"; very large or small values use an exponent ("1E+20").
std::u16string NumberText(double value, char16_t decimalSeparator);

// Nearest whole number, halves to the even neighbour; nullopt when it does not fit 32 bits.
std::optional<std::int32_t> RoundToInt32(double value);

}  // namespace velmora
