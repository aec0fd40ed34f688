#pragma once
#include <windows.h>

namespace velmora::win32 {

// The one class factory of the DLL, for clsVelmora. It is a static object whose references
// and server locks keep the DLL loaded while a client holds them.
HRESULT GetClassFactory(REFIID iid, void** factory);

}  // namespace velmora::win32
