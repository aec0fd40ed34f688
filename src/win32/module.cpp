// What the DLL knows about itself, kept apart from its exports so that the ports work in
// any module (the tests link them into a program).
#include "module.h"

#include <array>
#include <atomic>

namespace velmora::win32 {

namespace {
HMODULE module = nullptr;
// Objects, the class factory's references and its server locks.
std::atomic<long> liveThings{0};
// Thread owners alive, each holding one loader reference.
std::atomic<long> owners{0};
// Loader references of owners gone from a window procedure, for DllCanUnloadNow to drop.
std::atomic<long> keptPins{0};

struct ClassUse {
  const wchar_t* name = nullptr;
  long windows = 0;
};
SRWLOCK classLock = SRWLOCK_INIT;
std::array<ClassUse, 4> classUses{};

ClassUse* UseOf(const wchar_t* name) {
  ClassUse* free = nullptr;
  for (ClassUse& use : classUses) {
    if (use.name && ::lstrcmpW(use.name, name) == 0) return &use;
    if (!use.name && !free) free = &use;
  }
  return free;
}
}  // namespace

void SetThisModule(HMODULE handle) { module = handle; }

HMODULE ThisModule() { return module ? module : ::GetModuleHandleW(nullptr); }

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(ThisModule(), path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::u16string BaseNameOf(std::wstring_view path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  std::wstring_view name = path.substr(slash == std::wstring_view::npos ? 0 : slash + 1);
  const std::size_t dot = name.rfind(L'.');
  if (dot != std::wstring_view::npos) name = name.substr(0, dot);
  return {name.begin(), name.end()};
}

std::u16string ModuleBaseName() { return BaseNameOf(ModulePath()); }

void LockModule() { ++liveThings; }
void UnlockModule() { --liveThings; }

bool PinModule() {
  if (module) {
    HMODULE self = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&PinModule),
                              &self)) {
      return false;
    }
  }
  ++owners;
  return true;
}

void UnpinModule(Unpin how) {
  --owners;
  if (!module) return;
  if (how == Unpin::kNow) {
    ::FreeLibrary(module);
  } else if (how == Unpin::kAtNextQuery) {
    ++keptPins;
  }
}

bool ModuleInUse() {
  for (long kept = keptPins.exchange(0); kept > 0; --kept) ::FreeLibrary(module);
  return liveThings.load() != 0 || owners.load() != 0;
}

bool UseWindowClass(const WNDCLASSEXW& windowClass) {
  ::AcquireSRWLockExclusive(&classLock);
  ClassUse* use = UseOf(windowClass.lpszClassName);
  bool usable = use != nullptr;
  if (usable && use->windows == 0 && !::RegisterClassExW(&windowClass)) {
    // Another module's class of this name (or one with another procedure) is not ours to use.
    WNDCLASSEXW found{};
    found.cbSize = sizeof found;
    usable = ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS &&
             ::GetClassInfoExW(windowClass.hInstance, windowClass.lpszClassName, &found) &&
             found.lpfnWndProc == windowClass.lpfnWndProc;
  }
  if (usable) {
    use->name = windowClass.lpszClassName;
    ++use->windows;
  }
  ::ReleaseSRWLockExclusive(&classLock);
  return usable;
}

void LeaveWindowClass(const wchar_t* name) {
  ::AcquireSRWLockExclusive(&classLock);
  ClassUse* use = UseOf(name);
  if (use && use->name && --use->windows == 0) {
    ::UnregisterClassW(name, ThisModule());
    use->name = nullptr;
  }
  ::ReleaseSRWLockExclusive(&classLock);
}

}  // namespace velmora::win32
