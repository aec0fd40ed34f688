#pragma once
// What the DLL knows about itself: its module handle, its file, and whether anything of it
// is still alive (DllCanUnloadNow).
#include <windows.h>

#include <string>
#include <string_view>

namespace velmora::win32 {

// The DLL's handle, as DllMain received it; the program's own handle in a program.
HMODULE ThisModule();
void SetThisModule(HMODULE module);
// The full path of Velmora.dll as loaded; empty if Windows cannot tell.
std::wstring ModulePath();
// The file name without its extension ("Velmora"); it names the settings key.
std::u16string ModuleBaseName();
// A file's name without its folder and extension.
std::u16string BaseNameOf(std::wstring_view path);

// Objects, server locks, windows and timers each hold one of these while they live, so
// the host cannot unload code that a window procedure or a timer may still call.
void LockModule();
void UnlockModule();

class ModuleReference {
 public:
  ModuleReference() { LockModule(); }
  ~ModuleReference() { UnlockModule(); }
  ModuleReference(const ModuleReference&) { LockModule(); }
  ModuleReference& operator=(const ModuleReference&) = default;
};

// While the plug-in of a thread lives (its windows, their classes and timers) the DLL holds
// a loader reference to itself, so no unload can pull the code from under them: COM frees
// what it loaded at CoUninitialize whatever DllCanUnloadNow says, and a host may call
// FreeLibrary itself. Only in the DLL; a program's module is never unloaded.
void PinModule();
// How the last pin lets go: at once, where the caller's caller still holds the DLL (a host
// call into it); or after the running call has left the DLL's code, from a thread-pool
// callback, where the pin may be the DLL's last reference (a window procedure, a notice
// from COM).
enum class Unpin { kNow, kAfterReturn };
void UnpinModule(Unpin how);

[[nodiscard]] bool ModuleInUse();

}  // namespace velmora::win32
