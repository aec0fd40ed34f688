#pragma once
#include "ports/registry.h"

namespace velmora::win32 {

// The real registry through the wide-character functions, so every character of a
// template survives; text written earlier through the narrow functions is stored as
// UTF-16 by the system and reads back the same. A string value's data is its text: the
// terminating NUL of the registry's string types is added on writing and dropped on reading.
class WindowsRegistry : public Registry {
 public:
  void SetValue(RegistryRoot root, std::u16string_view keyPath, std::u16string_view name,
                const RegistryValue& value) override;
  [[nodiscard]] std::optional<RegistryValue> QueryValue(RegistryRoot root, std::u16string_view keyPath,
                                                        std::u16string_view name) const override;
};

}  // namespace velmora::win32
