#pragma once
#include <windows.h>

namespace velmora::win32 {

// The one class factory of the DLL, for clsVelmora. It is a static object: COM may hold it
// for as long as it likes without keeping anything else alive.
HRESULT GetClassFactory(REFIID iid, void** factory);

}  // namespace velmora::win32
