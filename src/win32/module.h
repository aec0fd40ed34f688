#pragma once
// What the DLL knows about itself: its module handle, its file, and everything that keeps it
// loaded (DllCanUnloadNow), counted here and nowhere else.
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

// Live objects, the class factory (its references and server locks) and a thread's
// CoUninitialize watch while COM may call it each hold one of these: while any is held
// DllCanUnloadNow answers S_FALSE.
void LockModule();
void UnlockModule();

class ModuleReference {
 public:
  ModuleReference() { LockModule(); }
  ~ModuleReference() { UnlockModule(); }
  ModuleReference(const ModuleReference&) { LockModule(); }
  ModuleReference& operator=(const ModuleReference&) = default;
};

// Each thread's plug-in is the one owner of everything of the DLL on its thread (windows,
// timers, the dialog) and holds a loader reference to the DLL while it lives, so no unload
// pulls the code from under them: COM frees what it loaded at CoUninitialize whatever
// DllCanUnloadNow says, and a host may call FreeLibrary itself. False when the loader
// refuses. Only in the DLL; a program's module is never unloaded.
[[nodiscard]] bool PinModule();
// How an owner lets go of its pin:
//  kNow         where the caller's caller still holds the DLL (a host's call into an object);
//  kAtNextQuery from a window procedure while COM still holds the DLL on the thread: the pin
//               may not be dropped under the code still on the stack, so the next
//               DllCanUnloadNow, whose caller holds the DLL, drops it;
//  kNever       after the thread's last CoUninitialize, when COM may have freed its own
//               reference already: the DLL stays mapped until the process ends, as no
//               moment is known at which the thread has surely left its code.
enum class Unpin { kNow, kAtNextQuery, kNever };
void UnpinModule(Unpin how);

// From DllCanUnloadNow: lets go of the pins kept for it, then whether anything still lives.
[[nodiscard]] bool ModuleInUse();

// The module's window classes, registered at their first use and unregistered when no
// window of any thread uses them any more. A class found already registered is used only
// when its window procedure is the one asked for. False when the class cannot be had.
[[nodiscard]] bool UseWindowClass(const WNDCLASSEXW& windowClass);
void LeaveWindowClass(const wchar_t* name);

}  // namespace velmora::win32
