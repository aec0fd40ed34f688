#pragma once
// Turning what the store answers back into typed settings. Each answers nullopt for a value
// that does not convert, so a damaged store falls back to the key's default.
#include <cstdint>
#include <optional>

#include "base/value.h"
#include "ports/regional.h"

namespace velmora {

// "True"/"False" in any letter case, or a number (non-zero is true).
std::optional<bool> ToBoolean(const Value& value);
// A number rounded half to even; only 0, 1 and 2 name a count type.
std::optional<std::int16_t> ToCountType(const Value& value);
// Exactly one of the digits "0" to "4" (or the number the reader passed as its default).
std::optional<std::int16_t> ToRepeat(const Value& value);
// A date or time value, or a text the regional reader takes as one.
std::optional<DateTime> ToDateTime(const Value& value, const Regional& regional);

}  // namespace velmora
