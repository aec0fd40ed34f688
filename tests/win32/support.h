#pragma once
// What the Windows tests share: the DLL under test, fresh apartments, calls by name, a
// window that catches nicknames, and scratch settings keys that clean up after themselves.
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <functional>
#include <string>
#include <vector>

#include "raii.h"
#include "test_seam.h"
#include "velmora_h.h"

namespace velmora::wintest {

using Microsoft::WRL::ComPtr;

// Velmora.dll, the shipped DLL, beside the test program, loaded once; the tests drive it
// wherever they need no seam.
HMODULE VelmoraDll();
std::wstring VelmoraDllPath();
// VelmoraTest.dll, its test build with the seam (test_seam.h), beside it too.
HMODULE VelmoraTestDll();

template <typename Function>
Function ExportOf(HMODULE dll, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(dll, name)));
}
template <typename Function>
Function Export(const char* name) {
  return ExportOf<Function>(VelmoraDll(), name);
}
// A seam function of VelmoraTest.dll; it acts on the plug-ins of that DLL only.
template <typename Function>
Function Seam(const char* name) {
  return ExportOf<Function>(VelmoraTestDll(), name);
}

// Points `dll`'s import of `library`!`name` at `replacement` while it lives (null slot when
// the DLL imports no such function).
class ImportPatch {
 public:
  ImportPatch(HMODULE dll, const char* library, const char* name, const void* replacement);
  ~ImportPatch();
  ImportPatch(const ImportPatch&) = delete;
  ImportPatch& operator=(const ImportPatch&) = delete;
  [[nodiscard]] bool Patched() const { return slot_ != nullptr; }
  // The function the import pointed at before.
  template <typename Function>
  [[nodiscard]] Function Original() const {
    return reinterpret_cast<Function>(original_);
  }

 private:
  ULONG_PTR* slot_ = nullptr;
  ULONG_PTR original_ = 0;
};

// A thread of the system's own; the toolchain's threading variant has no std::thread.
class Thread {
 public:
  explicit Thread(std::function<void()> body);
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  void Join();

 private:
  static DWORD WINAPI Run(void* self);
  std::function<void()> body_;
  HANDLE handle_ = nullptr;
};

// Runs `body` on a new thread in a single-threaded apartment, so it meets a plug-in with
// no state yet; the thread's plug-in goes away when the thread ends.
void InFreshApartment(const std::function<void()>& body);

// Registers the DLL machine-wide for the lifetime of the object.
class MachineRegistration {
 public:
  MachineRegistration();
  ~MachineRegistration();
  MachineRegistration(const MachineRegistration&) = delete;
  MachineRegistration& operator=(const MachineRegistration&) = delete;
};

ComPtr<IDispatch> CreateByProgId();
// A clsVelmora of VelmoraTest.dll, straight from its class factory.
ComPtr<IDispatch> CreateWithSeam();

// Argument builders, in the interface's parameter order. The variants point into `keep`
// or into the caller's variables, which must outlive the call.
struct Arguments {
  std::vector<VARIANTARG> values;
  std::vector<win32::UniqueBstr> keep;

  Arguments& I2(SHORT value);
  Arguments& I4(LONG value);
  Arguments& Text(const wchar_t* value);
  Arguments& Nothing();
  Arguments& TextRef(BSTR* value);
  Arguments& I4Ref(LONG* value);
  Arguments& VariantRef(VARIANT* value);

 private:
  VARIANTARG& Add(VARTYPE type);
};

struct Outcome {
  HRESULT hr = E_FAIL;
  win32::UniqueVariant result;
  EXCEPINFO exception{};
  ~Outcome();
};

// GetIDsOfNames + Invoke(DISPATCH_METHOD), as a host calls an operation by name.
void CallByName(IDispatch& object, const wchar_t* name, const Arguments& arguments,
                Outcome& outcome);
// The same, expected to succeed.
void Call(IDispatch& plugin, const wchar_t* operation, const Arguments& arguments = {});
void Command(IDispatch& plugin, const wchar_t* command, const wchar_t* argument = L"");
void Initialize(IDispatch& plugin, const std::wstring& email);

// Pumps the thread's messages for `milliseconds` or until `until` is set: whether it was.
bool PumpMessages(DWORD milliseconds, HANDLE until = nullptr);
// Sent to every top-level window, as the system sends its notices.
void Broadcast(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
// The calling thread's first window of the class `className`, or null.
HWND WindowOfThisThread(const wchar_t* className);

// A hidden top-level window of the calling thread that receives "Pelmar_SetName".
class NameCatcher {
 public:
  explicit NameCatcher(LRESULT reply = 1);
  ~NameCatcher();
  NameCatcher(const NameCatcher&) = delete;
  NameCatcher& operator=(const NameCatcher&) = delete;

  struct Caught {
    std::wstring text;
    LPARAM lParam;
  };
  [[nodiscard]] const std::vector<Caught>& Names() const { return names_; }
  // Run once at the next nickname, after it was recorded, as a host acts on one.
  std::function<void()> onNextName;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT reply_;
  UINT message_;
  std::vector<Caught> names_;
  win32::UniqueHwnd window_;
};

// A settings area for an e-mail address of its own, removed with everything below it.
class ScratchUser {
 public:
  explicit ScratchUser(const std::wstring& name);
  ~ScratchUser();
  ScratchUser(const ScratchUser&) = delete;
  ScratchUser& operator=(const ScratchUser&) = delete;

  [[nodiscard]] const std::wstring& Email() const { return email_; }
  // The key the DLL of this file name keeps this user's settings in.
  [[nodiscard]] std::wstring SettingsKey(const wchar_t* dll = L"Velmora.dll") const;
  void Store(const wchar_t* name, const std::wstring& value,
             const wchar_t* dll = L"Velmora.dll") const;

 private:
  std::wstring email_;
};

// Registry views: the one of the DLL under test (this program is built for the same
// architecture) and the other architecture's. Each check names the view it reads.
#ifdef _WIN64
inline constexpr REGSAM kOwnView = KEY_WOW64_64KEY;
inline constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
#else
inline constexpr REGSAM kOwnView = KEY_WOW64_32KEY;
inline constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
#endif

std::wstring KeyDefault(HKEY root, const std::wstring& key, const wchar_t* name = nullptr, REGSAM view = kOwnView);
bool KeyExists(HKEY root, const std::wstring& key, REGSAM view = kOwnView);

}  // namespace velmora::wintest
