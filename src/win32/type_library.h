#pragma once
#include <windows.h>
#include <oaidl.h>

namespace velmora::win32 {

// The description of `guid` from the type library inside this DLL. It is read from the
// module itself, never through the registry, so a half-registered install still works.
HRESULT LoadOwnTypeInfo(REFGUID guid, ITypeInfo** info);

}  // namespace velmora::win32
