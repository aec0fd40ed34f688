// What loading Velmora.dll costs a host, measured in one Windows process (under Wine here):
// the process's private bytes before and after LoadLibrary, after creating the object and
// after Initialize, which loads the hidden dialog; and the time from calling Initialize to
// the first "Pelmar_SetName" reaching a top-level window, with the counter stored as on.
//
//   wine_load_probe64.exe <path of Velmora.dll>
//
// Prints key=value lines. The object comes straight from the DLL's class factory, found
// through its embedded type library, so nothing is registered; the settings go under a
// scratch e-mail address whose key is deleted at the end. bench/perf_table.py builds it
// with mingw-w64; it sits apart from bench/CMakeLists.txt, which builds native benchmarks.
#include <windows.h>
#include <oleauto.h>
#include <psapi.h>

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
  const HWND host = ::CreateWindowExW(0, windowClass.lpszClassName, L"probe", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                      nullptr, windowClass.hInstance, nullptr);
  if (host == nullptr) return Fail("CreateWindowExW", HRESULT_FROM_WIN32(::GetLastError()));
  if (!StoreSettings()) return Fail("RegCreateKeyExW", E_FAIL);

  const Memory before = Measure();
  const HMODULE dll = ::LoadLibraryW(dllPath.c_str());
  if (dll == nullptr) return Fail("LoadLibraryW", HRESULT_FROM_WIN32(::GetLastError()));
  const Memory loaded = Measure();

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

  OLECHAR name[] = L"Initialize";
  LPOLESTR names[] = {name};
  DISPID id = 0;
  hr = plugin->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return Fail("GetIDsOfNames", hr);
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
  hr = plugin->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, &result, nullptr, nullptr);
  ::QueryPerformanceCounter(&end);
  const Memory initialized = Measure();
  ::VariantClear(&arguments[1]);
  if (FAILED(hr)) return Fail("Initialize", hr);

  const auto micros = [&](const LARGE_INTEGER& at) {
    return static_cast<double>(at.QuadPart - start.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
  };
  std::printf("private_before=%llu\n", before.privateBytes);
  std::printf("private_after_load=%llu\n", loaded.privateBytes);
  std::printf("private_after_create=%llu\n", created.privateBytes);
  std::printf("private_after_initialize=%llu\n", initialized.privateBytes);
  std::printf("working_set_before=%llu\n", before.workingSet);
  std::printf("working_set_after_initialize=%llu\n", initialized.workingSet);
  std::printf("initialize_us=%.1f\n", micros(end));
  if (gFirstSetName.QuadPart != 0) std::printf("initialize_to_setname_us=%.1f\n", micros(gFirstSetName));

  plugin->Release();
  ::RegDeleteTreeW(HKEY_CURRENT_USER, kUserKey);
  ::DestroyWindow(host);
  ::CoUninitialize();
  return gFirstSetName.QuadPart != 0 ? 0 : Fail("no Pelmar_SetName arrived", E_FAIL);
}
