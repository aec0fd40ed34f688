#pragma once
// A per-user hierarchical store of named values, shaped like the Windows registry.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

enum class RegistryRoot : std::uint32_t { kCurrentUser = 0x80000001 };

enum RegistryType : std::uint32_t {
  kRegSz = 1,        // plain string
  kRegExpandSz = 2,  // string with %VARIABLES%
  kRegDword = 4,     // 32-bit number
};

struct RegistryValue {
  std::uint32_t type = kRegSz;
  // For string types the UTF-16 data as stored, any NULs and what follows them included;
  // for kRegDword the number as decimal digits.
  std::u16string data;

  friend bool operator==(const RegistryValue&, const RegistryValue&) = default;
};

class Registry {
 public:
  virtual ~Registry() = default;
  // Creates every missing key on the path. A failure is silent: the value stays unwritten.
  virtual void SetValue(RegistryRoot root, std::u16string_view keyPath, std::u16string_view name,
                        const RegistryValue& value) = 0;
  // Opens the key without creating it. nullopt when the key or the value is missing, or
  // the read failed.
  [[nodiscard]] virtual std::optional<RegistryValue> QueryValue(RegistryRoot root,
                                                                std::u16string_view keyPath,
                                                                std::u16string_view name) const = 0;
};

}  // namespace velmora
