#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/date_time.h"

namespace velmora::host {

struct Options {
  enum class Mode { kInteractive, kScript, kDemo, kHelp };
  Mode mode = Mode::kInteractive;
  std::string script;                          // --script FILE, "-" for standard input
  std::optional<std::filesystem::path> store;  // --store PATH
  std::optional<DateTime> clock;               // --clock "YYYY-MM-DD HH:MM:SS"
  std::optional<std::u16string> email;         // --email ADDRESS
  std::optional<double> runFor;                // --for SECONDS
};

// Reads the command line; throws std::invalid_argument with a message for the user.
Options ParseOptions(const std::vector<std::string>& arguments);

extern const char kUsage[];

}  // namespace velmora::host
