// The DLL's entry point and its exports: the class factory, unloading and registration.
#include "class_factory.h"
#include "com_error.h"
#include "module.h"
#include "registration.h"
#include "runtime_semaphores.h"
#include "thread_plugins.h"
#include "velmora_h.h"

using velmora::win32::RegistrationScope;

// Runs under the loader lock: kernel32 only. Everything the plug-in made is torn down on
// its own thread when the last object goes (thread_plugins.h), before the DLL may unload.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    velmora::win32::SetThisModule(instance);
    // Thread notices stay on: the runtime's per-thread destructors need them.
    velmora::win32::ThreadPluginsAttach();
  } else if (reason == DLL_PROCESS_DETACH) {
    velmora::win32::ThreadPluginsDetach();
    // Unloaded by FreeLibrary, not by the process ending.
    velmora::win32::RuntimeSemaphoresDetach(reserved == nullptr);
  }
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
  return velmora::win32::Guarded([] { return velmora::win32::Register(RegistrationScope::kMachine); });
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
  return velmora::win32::Guarded([] { return velmora::win32::Unregister(RegistrationScope::kMachine); });
}

// "regsvr32 /n /i:user Velmora.dll" registers for the current user only, which needs no
// administrator rights; "/u /n /i:user" undoes it. Without "user" it acts machine-wide.
extern "C" HRESULT WINAPI DllInstall(BOOL install, PCWSTR commandLine) {
  RegistrationScope scope = RegistrationScope::kMachine;
  if (commandLine && *commandLine) {
    if (::lstrcmpiW(commandLine, L"user") != 0) return E_INVALIDARG;
    scope = RegistrationScope::kUser;
  }
  return velmora::win32::Guarded(
      [&] { return install ? velmora::win32::Register(scope) : velmora::win32::Unregister(scope); });
}
