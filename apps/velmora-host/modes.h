#pragma once
#include <optional>
#include <string>

#include "options.h"
#include "ports/registry.h"

namespace velmora::host {

// Runs a host script; 0 when every line ran, 2 on a malformed line, 1 when the script
// cannot be read.
int RunScriptMode(const Options& options);

struct Session {
  Registry* registry = nullptr;
  std::u16string email;
  std::optional<double> runFor;  // seconds; the session then outlives its input
  std::string banner;
};

// The interactive host on the real clock; returns when the user leaves, input ends, the
// time is up or Ctrl-C arrives.
int RunInteractive(const Session& session);

// `velmora-host demo`: a scratch store seeded with a New Year countdown.
int RunDemo(const Options& options);

}  // namespace velmora::host
