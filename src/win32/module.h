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

[[nodiscard]] bool ModuleInUse();

}  // namespace velmora::win32
