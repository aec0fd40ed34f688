#pragma once
// The semaphores the static C++ runtime makes for its mutexes, and the memory it keeps per
// load, freed when the DLL unloads.
#include <windows.h>

namespace velmora::win32 {

// From DllMain's DLL_PROCESS_DETACH: whether FreeLibrary unloads the DLL (the leftovers are
// then closed after the runtime's own exit handlers) or the process ends (nothing to do).
void RuntimeSemaphoresDetach(bool unloading);

}  // namespace velmora::win32
