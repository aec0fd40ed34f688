#pragma once
// The development host's registry: one UTF-8 text file in the registry export format (see
// registry_text.h), so a person can read it, diff it and import it on Windows.
//
// Every write re-reads the file under an advisory lock on PATH.lock, changes the one value
// and replaces the file by renaming a synced temporary over it, so concurrent writers lose
// nothing and a crash leaves the old file whole. Reads take no lock: the rename makes a
// whole-file read see one version or the other. Lines the parser does not understand are
// kept verbatim and in place by every later write.
#include <filesystem>
#include <optional>
#include <string_view>

#include "posix/registry_document.h"
#include "ports/registry.h"

namespace velmora {

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
