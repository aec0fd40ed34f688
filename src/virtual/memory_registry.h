#pragma once
// A registry held in memory, with the registry's case-insensitive key and value names.
#include <map>
#include <string>
#include <vector>

#include "ports/registry.h"

namespace velmora {

class MemoryRegistry : public Registry {
 public:
  void SetValue(RegistryRoot root, std::u16string_view keyPath, std::u16string_view name,
                const RegistryValue& value) override;
  [[nodiscard]] std::optional<RegistryValue> QueryValue(RegistryRoot root, std::u16string_view keyPath,
                                                        std::u16string_view name) const override;

 private:
  std::map<std::u16string, std::map<std::u16string, RegistryValue>> keys_;  // lower-cased names
};

}  // namespace velmora
