#pragma once
// The ports of a plug-in on virtual time, as tests, benchmarks and fuzzers assemble them.
// Every part stays the caller's and must outlive the plug-in.
#include "ports/platform.h"
#include "virtual/virtual_time.h"

namespace velmora {

// Timers from `time`; no view, so dialogs go unseen unless the caller sets makeView.
Platform VirtualPlatform(VirtualTime& time, Registry& registry, const Regional& regional, NameChannel& host);

}  // namespace velmora
