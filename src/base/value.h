#pragma once
// The loosely typed value that settings are written from and read into: a reader passes a
// default of the type it wants and gets it back unchanged when nothing usable is stored.
#include <cstdint>
#include <string>
#include <variant>

#include "base/date_time.h"

namespace velmora {

using Value = std::variant<bool, std::int32_t, std::u16string, DateTime>;

}  // namespace velmora
