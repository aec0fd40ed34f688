// A minimal host for the install tests: creates Velmora.clsVelmora by its ProgID, as a host
// does, and calls Initialize by name through IDispatch.
//
//   velmora-install-client.exe EMAIL [READY-FILE RELEASE-FILE]
//
// Prints "Initialize -> True" (or False) and the path of the Velmora.dll that was loaded.
// With the two files it then keeps the DLL loaded: it creates READY-FILE and waits until
// RELEASE-FILE exists (at most two minutes) before it lets go.
// Exit status: 0 when Initialize answered True, 1 when it answered anything else, 2 when the
// class could not be created or called.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <string>

namespace {

int Fail(const char* what, HRESULT hr) {
  std::printf("%s failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
  return 2;
}

// Calls a method of the object by name, with the arguments in the order the caller writes them.
HRESULT CallByName(IDispatch* object, const wchar_t* name, VARIANT* args, UINT count, VARIANT* result) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  // IDispatch takes the arguments last to first.
  VARIANT reversed[8];
  for (UINT i = 0; i < count; ++i) reversed[i] = args[count - 1 - i];
  DISPPARAMS params{reversed, nullptr, count, 0};
  EXCEPINFO error{};
  UINT badArgument = 0;
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, &error, &badArgument);
}

void Touch(const wchar_t* path) {
  HANDLE file = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
}

void WaitForFile(const wchar_t* path) {
  for (int i = 0; i < 1200 && ::GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES; ++i) ::Sleep(100);
}

int Run(int argc, wchar_t** argv) {
  if (argc != 2 && argc != 4) {
    std::printf("usage: velmora-install-client EMAIL [READY-FILE RELEASE-FILE]\n");
    return 2;
  }
  CLSID clsid{};
  HRESULT hr = ::CLSIDFromProgID(L"Velmora.clsVelmora", &clsid);
  if (FAILED(hr)) return Fail("CLSIDFromProgID", hr);
  IDispatch* object = nullptr;
  hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object));
  if (FAILED(hr)) return Fail("CoCreateInstance", hr);

  VARIANT args[3];
  for (VARIANT& arg : args) ::VariantInit(&arg);
  args[0].vt = VT_I4;
  args[0].lVal = 1;
  args[1].vt = VT_BSTR;
  args[1].bstrVal = ::SysAllocString(argv[1]);
  args[2].vt = VT_DISPATCH;
  args[2].pdispVal = nullptr;
  VARIANT answer;
  ::VariantInit(&answer);
  hr = CallByName(object, L"Initialize", args, 3, &answer);
  ::VariantClear(&args[1]);
  if (FAILED(hr)) {
    object->Release();
    return Fail("Initialize", hr);
  }
  const bool isTrue = answer.vt == VT_BOOL && answer.boolVal == VARIANT_TRUE;
  std::printf("Initialize -> %s\n", isTrue ? "True" : answer.vt == VT_BOOL ? "False" : "not a Boolean");

  wchar_t modulePath[MAX_PATH] = {};
  if (HMODULE module = ::GetModuleHandleW(L"Velmora.dll")) ::GetModuleFileNameW(module, modulePath, MAX_PATH);
  std::printf("loaded %ls\n", modulePath);
  std::fflush(stdout);

  if (argc == 4) {
    Touch(argv[2]);
    WaitForFile(argv[3]);
  }
  VARIANT ignored;
  ::VariantInit(&ignored);
  CallByName(object, L"Uninitialize", nullptr, 0, &ignored);
  ::VariantClear(&ignored);
  object->Release();
  return isTrue ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (FAILED(::CoInitialize(nullptr))) return Fail("CoInitialize", E_FAIL);
  const int status = Run(argc, argv);
  ::CoUninitialize();
  return status;
}
