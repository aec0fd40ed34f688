// The DLL's entry point, its module-wide state and the exports that hand out classes.
#include "module.h"

#include <atomic>

#include "class_factory.h"
#include "registration.h"
#include "timer_win32.h"
#include "velmora_h.h"

namespace velmora::win32 {

namespace {
HMODULE module = nullptr;
std::atomic<long> liveThings{0};
}  // namespace

HMODULE ThisModule() { return module; }

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::u16string ModuleBaseName() {
  const std::wstring path = ModulePath();
  const std::size_t slash = path.find_last_of(L"\\/");
  std::wstring name = path.substr(slash == std::wstring::npos ? 0 : slash + 1);
  const std::size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos) name.resize(dot);
  return {name.begin(), name.end()};
}

void LockModule() { ++liveThings; }
void UnlockModule() { --liveThings; }

bool ModuleInUse() { return liveThings.load() != 0; }

}  // namespace velmora::win32

using velmora::win32::RegistrationScope;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) velmora::win32::module = instance;
  // Unloaded by FreeLibrary (not by the process ending): a class registered by a DLL
  // outlives it unless the DLL removes it.
  if (reason == DLL_PROCESS_DETACH && !reserved) velmora::win32::UnregisterTimerWindowClass();
  return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!::IsEqualCLSID(clsid, CLSID_clsVelmora)) return CLASS_E_CLASSNOTAVAILABLE;
  return velmora::win32::GetClassFactory(iid, object);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
  return velmora::win32::ModuleInUse() ? S_FALSE : S_OK;
}

extern "C" HRESULT WINAPI DllRegisterServer() {
  return velmora::win32::Register(RegistrationScope::kMachine);
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
  return velmora::win32::Unregister(RegistrationScope::kMachine);
}

// "regsvr32 /n /i:user Velmora.dll" registers for the current user only, which needs no
// administrator rights; "/u /n /i:user" undoes it. Without "user" it acts machine-wide.
extern "C" HRESULT WINAPI DllInstall(BOOL install, PCWSTR commandLine) {
  RegistrationScope scope = RegistrationScope::kMachine;
  if (commandLine && *commandLine) {
    if (::lstrcmpiW(commandLine, L"user") != 0) return E_INVALIDARG;
    scope = RegistrationScope::kUser;
  }
  return install ? velmora::win32::Register(scope) : velmora::win32::Unregister(scope);
}
