#include "virtual/memory_registry.h"

#include "base/text.h"

namespace velmora {

namespace {
// Every key on the path, "A", "A\B", "A\B\C", so that creating a key creates its parents.
std::vector<std::u16string> KeysOnPath(std::u16string_view keyPath) {
  std::vector<std::u16string> keys;
  const std::u16string lower = AsciiLower(keyPath);
  for (std::size_t at = lower.find(u'\\'); at != std::u16string::npos; at = lower.find(u'\\', at + 1)) {
    if (at > 0) keys.push_back(lower.substr(0, at));
  }
  if (!lower.empty() && lower.back() != u'\\') keys.push_back(lower);
  return keys;
}
}  // namespace

void MemoryRegistry::SetValue(RegistryRoot, std::u16string_view keyPath, std::u16string_view name,
                              const RegistryValue& value) {
  for (const std::u16string& key : KeysOnPath(keyPath)) keys_[key];
  keys_[AsciiLower(keyPath)][AsciiLower(name)] = value;
}

std::optional<RegistryValue> MemoryRegistry::QueryValue(RegistryRoot, std::u16string_view keyPath,
                                                        std::u16string_view name) const {
  const auto key = keys_.find(AsciiLower(keyPath));
  if (key == keys_.end()) return std::nullopt;
  const auto value = key->second.find(AsciiLower(name));
  if (value == key->second.end()) return std::nullopt;
  return value->second;
}

}  // namespace velmora
