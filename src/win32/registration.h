#pragma once
// Writing and removing the keys that let a host create clsVelmora by its ProgID.
#include <windows.h>

namespace velmora::win32 {

enum class RegistrationScope {
  kMachine,  // HKEY_LOCAL_MACHINE\Software\Classes: every user, needs administrator rights
  kUser,     // HKEY_CURRENT_USER\Software\Classes: the current user only
};

inline constexpr wchar_t kProgId[] = L"Velmora.clsVelmora";

// Registers the class, its ProgID and the type library embedded in this DLL. A failure
// undoes what was written.
HRESULT Register(RegistrationScope scope);
// Removes every key Register writes. Keys that are already gone are no failure.
HRESULT Unregister(RegistrationScope scope);

}  // namespace velmora::win32
