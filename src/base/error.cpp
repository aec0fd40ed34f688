#include "base/error.h"

#include "base/text.h"

namespace velmora {

VelmoraError::VelmoraError(std::int32_t number, std::u16string description)
    : std::runtime_error(ToUtf8(description)), number_(number), description_(std::move(description)) {}

}  // namespace velmora
