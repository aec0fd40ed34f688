#include "support.h"

#include <gtest/gtest.h>


namespace velmora::wintest {

namespace {
constexpr wchar_t kCatcherClass[] = L"VelmoraTestNameCatcher";
}  // namespace

std::wstring VelmoraDllPath() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path.substr(0, path.find_last_of(L"\\/") + 1) + L"Velmora.dll";
}

HMODULE VelmoraDll() {
  static const HMODULE dll = ::LoadLibraryW(VelmoraDllPath().c_str());
  return dll;
}

HMODULE VelmoraTestDll() {
  static const HMODULE dll = [] {
    std::wstring path = VelmoraDllPath();
    path.replace(path.size() - 4, 4, L"Test.dll");
    return ::LoadLibraryW(path.c_str());
  }();
  return dll;
}

Thread::Thread(std::function<void()> body) : body_(std::move(body)) {
  handle_ = ::CreateThread(nullptr, 0, &Run, this, 0, nullptr);
}

Thread::~Thread() { Join(); }

void Thread::Join() {
  if (!handle_) return;
  ::WaitForSingleObject(handle_, INFINITE);
  ::CloseHandle(handle_);
  handle_ = nullptr;
}

DWORD WINAPI Thread::Run(void* self) {
  static_cast<Thread*>(self)->body_();
  return 0;
}

void InFreshApartment(const std::function<void()>& body) {
  Thread thread([&body] {
    ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    body();
    ::CoUninitialize();
  });
}

MachineRegistration::MachineRegistration() {
  EXPECT_HRESULT_SUCCEEDED(Export<HRESULT(WINAPI*)()>("DllRegisterServer")());
}

MachineRegistration::~MachineRegistration() { Export<HRESULT(WINAPI*)()>("DllUnregisterServer")(); }

ComPtr<IDispatch> CreateByProgId() {
  CLSID clsid{};
  ComPtr<IDispatch> object;
  if (FAILED(::CLSIDFromProgID(L"Velmora.clsVelmora", &clsid))) return object;
  ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object));
  return object;
}

ComPtr<IDispatch> CreateWithSeam() {
  using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
  ComPtr<IDispatch> object;
  ComPtr<IClassFactory> factory;
  const auto getClassObject = ExportOf<GetClassObject>(VelmoraTestDll(), "DllGetClassObject");
  if (!getClassObject || FAILED(getClassObject(CLSID_clsVelmora, IID_IClassFactory, &factory))) return object;
  factory->CreateInstance(nullptr, IID_PPV_ARGS(&object));
  return object;
}

VARIANTARG& Arguments::Add(VARTYPE type) {
  VARIANTARG& v = values.emplace_back();
  ::VariantInit(&v);
  v.vt = type;
  return v;
}

Arguments& Arguments::I2(SHORT value) {
  Add(VT_I2).iVal = value;
  return *this;
}

Arguments& Arguments::I4(LONG value) {
  Add(VT_I4).lVal = value;
  return *this;
}

Arguments& Arguments::Text(const wchar_t* value) {
  Add(VT_BSTR).bstrVal = keep.emplace_back(::SysAllocString(value)).get();
  return *this;
}

Arguments& Arguments::Nothing() {
  Add(VT_DISPATCH).pdispVal = nullptr;
  return *this;
}

Arguments& Arguments::TextRef(BSTR* value) {
  Add(VT_BSTR | VT_BYREF).pbstrVal = value;
  return *this;
}

Arguments& Arguments::I4Ref(LONG* value) {
  Add(VT_I4 | VT_BYREF).plVal = value;
  return *this;
}

Arguments& Arguments::VariantRef(VARIANT* value) {
  Add(VT_VARIANT | VT_BYREF).pvarVal = value;
  return *this;
}

Outcome::~Outcome() {
  ::SysFreeString(exception.bstrDescription);
  ::SysFreeString(exception.bstrSource);
  ::SysFreeString(exception.bstrHelpFile);
}

void CallByName(IDispatch& object, const wchar_t* name, const Arguments& arguments,
                Outcome& outcome) {
  std::wstring copy = name;
  LPOLESTR names[] = {copy.data()};
  DISPID id = DISPID_UNKNOWN;
  outcome.hr = object.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(outcome.hr)) return;
  std::vector<VARIANTARG> reversed(arguments.values.rbegin(), arguments.values.rend());
  DISPPARAMS parameters{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  UINT argumentError = 0;
  outcome.hr = object.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, &outcome.result,
                             &outcome.exception, &argumentError);
}

void Call(IDispatch& plugin, const wchar_t* operation, const Arguments& arguments) {
  Outcome outcome;
  CallByName(plugin, operation, arguments, outcome);
  EXPECT_HRESULT_SUCCEEDED(outcome.hr) << "calling " << operation;
}

void Command(IDispatch& plugin, const wchar_t* command, const wchar_t* argument) {
  win32::UniqueBstr result{::SysAllocString(L"")};
  Call(plugin, L"ParseCommand",
       Arguments().Text(command).Text(argument).Nothing().TextRef(result.addressof()));
}

void Initialize(IDispatch& plugin, const std::wstring& email) {
  Call(plugin, L"Initialize", Arguments().I4(1).Text(email.c_str()).Nothing());
}

bool PumpMessages(DWORD milliseconds, HANDLE until) {
  const ULONGLONG end = ::GetTickCount64() + milliseconds;
  for (ULONGLONG now = ::GetTickCount64(); now < end; now = ::GetTickCount64()) {
    if (until && ::WaitForSingleObject(until, 0) == WAIT_OBJECT_0) return true;
    ::MsgWaitForMultipleObjects(until ? 1 : 0, &until, FALSE, static_cast<DWORD>(end - now),
                                QS_ALLINPUT);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
  }
  return until && ::WaitForSingleObject(until, 0) == WAIT_OBJECT_0;
}

void Broadcast(UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR reply = 0;
  ::SendMessageTimeoutW(HWND_BROADCAST, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &reply);
}

namespace {
struct WindowSearch {
  const wchar_t* className;
  HWND found;
};

BOOL CALLBACK FindByClass(HWND window, LPARAM context) {
  auto& search = *reinterpret_cast<WindowSearch*>(context);
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, static_cast<int>(std::size(name)));
  if (::lstrcmpW(name, search.className) == 0) search.found = window;
  return search.found == nullptr;
}
}  // namespace

HWND WindowOfThisThread(const wchar_t* className) {
  WindowSearch search{className, nullptr};
  ::EnumThreadWindows(::GetCurrentThreadId(), &FindByClass, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

NameCatcher::NameCatcher(LRESULT reply) : reply_(reply), message_(::RegisterWindowMessageA("Pelmar_SetName")) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &WindowProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kCatcherClass;
  ::RegisterClassExW(&windowClass);
  window_.reset(::CreateWindowExW(0, kCatcherClass, L"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                  windowClass.hInstance, this));
}

NameCatcher::~NameCatcher() { window_.reset(); }

LRESULT CALLBACK NameCatcher::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    ::SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
  }
  auto* self = reinterpret_cast<NameCatcher*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self && message == self->message_) {
    const auto text = reinterpret_cast<BSTR>(wParam);
    self->names_.push_back({std::wstring(text, ::SysStringLen(text)), lParam});
    if (self->onNextName) std::exchange(self->onNextName, nullptr)();
    return self->reply_;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

ScratchUser::ScratchUser(const std::wstring& name) : email_(name + L"." + std::to_wstring(::GetCurrentThreadId()) + L"@test.invalid") {}

ScratchUser::~ScratchUser() {
  ::RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Tevrand\\Pelmar2\\" + email_).c_str());
}

std::wstring ScratchUser::SettingsKey(const wchar_t* dll) const {
  return L"Software\\Tevrand\\Pelmar2\\" + email_ + L"\\Preferences\\Plugins\\" + dll;
}

void ScratchUser::Store(const wchar_t* name, const std::wstring& value, const wchar_t* dll) const {
  const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, SettingsKey(dll).c_str(), name, REG_SZ,
                              value.c_str(), bytes),
            ERROR_SUCCESS);
}

std::wstring KeyDefault(HKEY root, const std::wstring& key, const wchar_t* name, REGSAM view) {
  win32::UniqueHkey opened;
  wchar_t buffer[1024] = {};
  DWORD size = sizeof buffer;
  if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, opened.put()) != ERROR_SUCCESS ||
      ::RegGetValueW(opened.get(), nullptr, name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS) {
    return L"<missing>";
  }
  return buffer;
}

ImportPatch::ImportPatch(HMODULE dll, const char* library, const char* name, const void* replacement) {
  auto* base = reinterpret_cast<BYTE*>(dll);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       import->Name != 0 && !slot_; ++import) {
    if (::lstrcmpiA(reinterpret_cast<const char*>(base + import->Name), library) != 0) continue;
    const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (::lstrcmpA(reinterpret_cast<const char*>(byName->Name), name) == 0) {
        slot_ = reinterpret_cast<ULONG_PTR*>(&slots->u1.Function);
        break;
      }
    }
  }
  if (!slot_) return;
  DWORD old = 0;
  ::VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &old);
  original_ = *slot_;
  *slot_ = reinterpret_cast<ULONG_PTR>(replacement);
}

ImportPatch::~ImportPatch() {
  // Nothing to put back in a DLL that has left.
  HMODULE still = nullptr;
  if (slot_ && ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                    reinterpret_cast<LPCWSTR>(slot_), &still)) {
    *slot_ = original_;
  }
}

bool KeyExists(HKEY root, const std::wstring& key, REGSAM view) {
  win32::UniqueHkey opened;
  return ::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, opened.put()) == ERROR_SUCCESS;
}

}  // namespace velmora::wintest
