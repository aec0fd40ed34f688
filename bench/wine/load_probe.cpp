// What loading an in-process automation server costs a host, measured in one Windows process
// (under Wine here): the process's private bytes and working set, and the modules it has
// loaded, before and after LoadLibrary, after creating the object, after Initialize (Velmora
// loads its hidden dialog there) and after the first Configure (Velmora shows the dialog; the
// probe closes it); and the time from calling Initialize to the first "Pelmar_SetName"
// reaching a top-level window, with the counter stored as on.
//
//   wine_load_probe64.exe <path of Velmora.dll or MinimalServer.dll>
//
// Prints key=value lines. The object comes straight from the DLL's class factory, found
// through its embedded type library, so nothing is registered; the settings go under a
// scratch e-mail address whose key is deleted at the end. bench/perf_table.py builds it, and
// the minimal server beside Velmora (bench/wine/minimal_server.cpp), with mingw-w64; they sit
// apart from bench/CMakeLists.txt, which builds native benchmarks.
#include <windows.h>
#include <oleauto.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr wchar_t kEmail[] = L"perf-probe@example.com";
constexpr wchar_t kUserKey[] = L"Software\\Tevrand\\Pelmar2\\perf-probe@example.com";

UINT gSetNameMessage = 0;
LARGE_INTEGER gFirstSetName{};

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (gSetNameMessage != 0 && message == gSetNameMessage) {
    if (gFirstSetName.QuadPart == 0) ::QueryPerformanceCounter(&gFirstSetName);
    return 1;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

struct Memory {
  unsigned long long privateBytes = 0;
  unsigned long long workingSet = 0;
};

// The commit charge: the private memory the process holds. Windows reports the same figure
// as PrivateUsage; Wine fills in only this one.
Memory Measure() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
  return {counters.PagefileUsage, counters.WorkingSetSize};
}

// The modules the process holds at one step. Kept in storage the process had from its start,
// so taking the list adds nothing to the memory the next step measures; named only at the end.
struct Modules {
  HMODULE handles[512];
  DWORD count;
};
Modules gSteps[5];

void TakeModules(Modules& step) {
  DWORD bytes = 0;
  if (!::EnumProcessModules(::GetCurrentProcess(), step.handles, sizeof step.handles, &bytes)) bytes = 0;
  step.count = std::min<DWORD>(bytes / sizeof(HMODULE), 512);
}

// One line: the modules held at `now` that were not held at `before`, by base name.
void PrintAddedModules(const char* name, const Modules& before, const Modules& now) {
  std::printf("modules_%s=", name);
  const char* separator = "";
  for (DWORD i = 0; i < now.count; ++i) {
    if (std::find(before.handles, before.handles + before.count, now.handles[i]) != before.handles + before.count) {
      continue;
    }
    wchar_t module[MAX_PATH];
    const DWORD length = ::GetModuleBaseNameW(::GetCurrentProcess(), now.handles[i], module, MAX_PATH);
    ::CharLowerBuffW(module, length);
    std::printf("%s%ls", separator, std::wstring{module, length}.c_str());
    separator = ",";
  }
  std::printf("\n");
}

// Configure shows the window modally; this closes it from inside that modal loop, as its
// close box would.
BOOL CALLBACK CloseShownWindow(HWND window, LPARAM host) {
  if (window != reinterpret_cast<HWND>(host) && ::IsWindowVisible(window)) ::PostMessageW(window, WM_CLOSE, 0, 0);
  return TRUE;
}
HWND gHost = nullptr;
void CALLBACK CloseConfigureWindow(HWND, UINT, UINT_PTR, DWORD) {
  ::EnumThreadWindows(::GetCurrentThreadId(), CloseShownWindow, reinterpret_cast<LPARAM>(gHost));
}

HRESULT CallByName(IDispatch* object, const wchar_t* method, DISPPARAMS& parameters, VARIANT& result) {
  OLECHAR name[32];
  wcsncpy(name, method, 31);
  name[31] = L'\0';
  LPOLESTR names[] = {name};
  DISPID id = 0;
  const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, &result, nullptr, nullptr);
}

bool StoreSettings() {
  const std::wstring path = std::wstring{kUserKey} + L"\\Preferences\\Plugins\\Velmora.dll";
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  const auto set = [key](const wchar_t* name, const wchar_t* text) {
    ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                     static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
  };
  set(L"Enable", L"True");
  set(L"Nick", L"%d day[ds] %hh:%mm:%ss left");
  set(L"Type", L"2");
  set(L"Interval", L"1m");
  ::RegCloseKey(key);
  return true;
}

// The class the DLL's own type library names.
bool FindClass(const std::wstring& dllPath, CLSID& clsid) {
  ITypeLib* library = nullptr;
  if (FAILED(::LoadTypeLibEx(dllPath.c_str(), REGKIND_NONE, &library))) return false;
  bool found = false;
  for (UINT i = 0; i < library->GetTypeInfoCount() && !found; ++i) {
    TYPEKIND kind;
    if (FAILED(library->GetTypeInfoType(i, &kind)) || kind != TKIND_COCLASS) continue;
    ITypeInfo* info = nullptr;
    if (FAILED(library->GetTypeInfo(i, &info))) continue;
    TYPEATTR* attributes = nullptr;
    if (SUCCEEDED(info->GetTypeAttr(&attributes))) {
      clsid = attributes->guid;
      found = true;
      info->ReleaseTypeAttr(attributes);
    }
    info->Release();
  }
  library->Release();
  return found;
}

int Fail(const char* what, HRESULT hr) {
  std::printf("error=%s 0x%08lx\n", what, static_cast<unsigned long>(hr));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: wine_load_probe.exe <path of Velmora.dll>\n");
    return 2;
  }
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, nullptr, 0);
  std::wstring dllPath(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, dllPath.data(), length);
  dllPath.resize(static_cast<std::size_t>(length - 1));

  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return Fail("CoInitializeEx", E_FAIL);
  gSetNameMessage = ::RegisterWindowMessageW(L"Pelmar_SetName");
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = HostProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"VelmoraPerfProbe";
  ::RegisterClassW(&windowClass);
  // A hidden top-level window: broadcast messages reach it, as they reach a messenger's.
  const HWND host = gHost = ::CreateWindowExW(0, windowClass.lpszClassName, L"probe", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                      nullptr, windowClass.hInstance, nullptr);
  if (host == nullptr) return Fail("CreateWindowExW", HRESULT_FROM_WIN32(::GetLastError()));
  if (!StoreSettings()) return Fail("RegCreateKeyExW", E_FAIL);

  ::SecureZeroMemory(gSteps, sizeof gSteps);  // its pages in the working set before the first figure
  TakeModules(gSteps[0]);
  const Memory before = Measure();
  const HMODULE dll = ::LoadLibraryW(dllPath.c_str());
  if (dll == nullptr) return Fail("LoadLibraryW", HRESULT_FROM_WIN32(::GetLastError()));
  const Memory loaded = Measure();
  TakeModules(gSteps[1]);

  CLSID clsid{};
  if (!FindClass(dllPath, clsid)) return Fail("LoadTypeLibEx", E_FAIL);
  using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
  const auto getClassObject =
      reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(::GetProcAddress(dll, "DllGetClassObject")));
  if (getClassObject == nullptr) return Fail("DllGetClassObject", E_NOINTERFACE);
  IClassFactory* factory = nullptr;
  HRESULT hr = getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return Fail("DllGetClassObject", hr);
  IDispatch* plugin = nullptr;
  hr = factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&plugin));
  factory->Release();
  if (FAILED(hr)) return Fail("CreateInstance", hr);
  const Memory created = Measure();
  TakeModules(gSteps[2]);

  VARIANT arguments[3];  // right to left
  for (VARIANT& argument : arguments) ::VariantInit(&argument);
  arguments[0].vt = VT_DISPATCH;
  arguments[0].pdispVal = nullptr;
  arguments[1].vt = VT_BSTR;
  arguments[1].bstrVal = ::SysAllocString(kEmail);
  arguments[2].vt = VT_I4;
  arguments[2].lVal = 1;
  DISPPARAMS parameters{arguments, nullptr, 3, 0};
  VARIANT result;
  ::VariantInit(&result);

  LARGE_INTEGER frequency, start, end;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  hr = CallByName(plugin, L"Initialize", parameters, result);
  ::QueryPerformanceCounter(&end);
  const Memory initialized = Measure();
  TakeModules(gSteps[3]);
  ::VariantClear(&arguments[1]);
  if (FAILED(hr)) return Fail("Initialize", hr);

  // The ticks of a minute's run would not load anything more; the window does.
  const UINT_PTR closer = ::SetTimer(nullptr, 0, 300, CloseConfigureWindow);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  ::VariantClear(&result);
  hr = CallByName(plugin, L"Configure", none, result);
  ::KillTimer(nullptr, closer);
  const Memory configured = Measure();
  TakeModules(gSteps[4]);
  if (FAILED(hr)) return Fail("Configure", hr);

  const auto micros = [&](const LARGE_INTEGER& at) {
    return static_cast<double>(at.QuadPart - start.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
  };
  std::printf("private_before=%llu\n", before.privateBytes);
  std::printf("private_after_load=%llu\n", loaded.privateBytes);
  std::printf("private_after_create=%llu\n", created.privateBytes);
  std::printf("private_after_initialize=%llu\n", initialized.privateBytes);
  std::printf("private_after_configure=%llu\n", configured.privateBytes);
  std::printf("working_set_before=%llu\n", before.workingSet);
  std::printf("working_set_after_load=%llu\n", loaded.workingSet);
  std::printf("working_set_after_create=%llu\n", created.workingSet);
  std::printf("working_set_after_initialize=%llu\n", initialized.workingSet);
  std::printf("working_set_after_configure=%llu\n", configured.workingSet);
  const char* const steps[] = {"load", "create", "initialize", "configure"};
  for (int i = 0; i < 4; ++i) PrintAddedModules(steps[i], gSteps[i], gSteps[i + 1]);
  std::printf("initialize_us=%.1f\n", micros(end));
  if (gFirstSetName.QuadPart != 0) std::printf("initialize_to_setname_us=%.1f\n", micros(gFirstSetName));

  plugin->Release();
  ::RegDeleteTreeW(HKEY_CURRENT_USER, kUserKey);
  ::DestroyWindow(host);
  ::CoUninitialize();
  // The minimal server sends no nickname; perf_table.py asks Velmora's runs for one.
  return 0;
}
