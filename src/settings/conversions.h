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
// The stored target date and time. OK writes them as yyyy-MM-dd and HH:mm:ss under every
// regional setting, so these forms are read first, strictly over the whole text (an en-US
// "8:05:00 PM" is not 08:05); then the user's regional form, in which earlier versions
// stored them. A date or time value (a reader's default) is taken as it is.
std::optional<DateTime> ToTargetDate(const Value& value, const Regional& regional);
std::optional<DateTime> ToTargetTime(const Value& value, const Regional& regional);

}  // namespace velmora
