#pragma once
// The development host's registry: one UTF-8 text file in the registry export format, so a
// person can read it, diff it and import it on Windows.
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Tevrand]
//
//   [HKEY_CURRENT_USER\Software\Tevrand\Pelmar2]
//   "Nick"="Up %d day[s]"
//   "Count"=dword:0000000a
//   "Path"=hex(2):25,00,41,00,25,00,00,00
//   "Memo"=hex(1):61,00,0a,00,62,00,00,00
//
// One value is one line. Text that a line cannot show plainly (control characters, line
// breaks, NULs, lone surrogates) is written as hex(1): UTF-16LE bytes, as an export writes
// it, with the terminating NUL; the data reads back exactly as it was given.
//
// Every write re-reads the file under an advisory lock on PATH.lock, changes the one value
// and replaces the file by renaming a synced temporary over it, so concurrent writers lose
// nothing and a crash leaves the old file whole. Reads take no lock: the rename makes a
// whole-file read see one version or the other. Lines the parser does not understand are
// kept verbatim and in place by every later write.
#include <filesystem>
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

class RegistryFile : public Registry {
 public:
  explicit RegistryFile(std::filesystem::path path) : path_(std::move(path)) {}

  // Silent on every failure; the file is then left exactly as it was.
  void SetValue(RegistryRoot root, std::u16string_view keyPath, std::u16string_view name,
                const RegistryValue& value) override;
  [[nodiscard]] std::optional<RegistryValue> QueryValue(RegistryRoot root,
                                                        std::u16string_view keyPath,
                                                        std::u16string_view name) const override;

  [[nodiscard]] const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// $XDG_CONFIG_HOME/velmora/registry.reg, or ~/.config/velmora/registry.reg.
std::filesystem::path DefaultRegistryFilePath();

}  // namespace velmora
