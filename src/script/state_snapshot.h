#pragma once
// `Print state` of a plug-in in this process: the development host reads it directly, a
// Windows test build reads it inside the DLL and hands it over.
#include "plugin/plugin.h"
#include "script/format.h"

namespace velmora::script {

// Does not load the dialog: before its first use its fields show their initial values.
StateSnapshot SnapshotOf(Plugin& plugin);

}  // namespace velmora::script
