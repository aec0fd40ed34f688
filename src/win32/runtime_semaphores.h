#pragma once
// The semaphores the static C++ runtime made for its mutexes, closed when the DLL unloads.
#include <windows.h>

namespace velmora::win32 {

// Only from DllMain when FreeLibrary unloads the DLL: no code of it runs any more.
void CloseRuntimeSemaphores();

}  // namespace velmora::win32
