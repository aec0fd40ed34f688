#pragma once
// The Windows ports of the calling thread and the plug-in built on them. Each thread that
// uses the component (the apartment model) gets its own plug-in, timer window and ports.
#include <memory>

#include "base/error.h"
#include "plugin/plugin.h"
#include "virtual/virtual_time.h"

namespace velmora::win32 {

Plugin& PluginOfThisThread();
// Null until this thread's plug-in is made.
Plugin* ExistingPluginOfThisThread();

// The private test seam (see test_seam.h) ------------------------------------------------
// Makes this thread's clock and timers virtual, starting at `start`; false once the
// thread's plug-in exists, since it holds on to its clock and timer.
bool UseVirtualTime(DateTime start);
// Null while the thread runs on the real clock.
VirtualTime* VirtualTimeOfThisThread();
// The next operation on this thread fails with this error before it does anything.
void InjectFailure(VelmoraError error);
void RaiseInjectedFailure();

}  // namespace velmora::win32
