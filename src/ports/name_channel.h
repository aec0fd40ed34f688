#pragma once
#include <string_view>

namespace velmora {

// Hands a nickname to the host and waits until the host has handled it.
class NameChannel {
 public:
  virtual ~NameChannel() = default;
  // True when the host answered non-zero.
  virtual bool SetName(std::u16string_view text) = 0;
};

}  // namespace velmora
