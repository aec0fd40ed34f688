#pragma once
// The text of a registry file as lines, each understood or kept as it was, so a write
// changes the one value and leaves every other line, understood or not, verbatim and in
// place.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ports/registry.h"

namespace velmora {

// The text of a registry file as lines, each understood or kept as it was. Parse accepts any
// bytes and never fails, which makes it the natural entry point for fuzzing.
class RegistryDocument {
 public:
  static RegistryDocument Parse(std::string_view fileBytes);

  // The last value of that name in any section of that key, as an import would leave it.
  [[nodiscard]] std::optional<RegistryValue> Find(RegistryRoot root, std::u16string_view keyPath,
                                                  std::u16string_view name) const;
  // Replaces the value in place, or adds it with every missing section on its path. False,
  // and the document unchanged, when a key name, the value name or a number cannot be written.
  bool Set(RegistryRoot root, std::u16string_view keyPath, std::u16string_view name,
           const RegistryValue& value);
  [[nodiscard]] std::string Text() const;

 private:
  enum class Kind { kHeader, kBlank, kSection, kValue, kOther };
  struct Line {
    Kind kind = Kind::kOther;
    std::vector<std::string> raw;      // physical lines as they stand, without line breaks
    std::vector<std::u16string> path;  // kSection: root and key names as spelled
    std::string nameToken;             // kValue: "\"name\"" or "@" as written
    std::u16string name;               // kValue
    RegistryValue value;               // kValue
  };

  static Line MakeLine(Kind kind, std::string raw);
  [[nodiscard]] std::optional<std::size_t> FindSection(
      const std::vector<std::u16string>& path) const;
  std::size_t EnsureSection(const std::vector<std::u16string>& path);
  [[nodiscard]] std::size_t BlockEnd(std::size_t section) const;

  std::vector<Line> lines_;
  bool crlf_ = false;
};

}  // namespace velmora
