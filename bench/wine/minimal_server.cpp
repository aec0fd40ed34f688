// The least an in-process automation server can be: one class whose IDispatch comes from the
// type library embedded in the DLL. Built with Velmora.dll's compiler and flags, it is the
// floor bench/wine/load_probe.cpp sets Velmora's memory figures against.
#include <windows.h>
#include <initguid.h>
#include <oleauto.h>

#include <new>

#include "minimal_server_h.h"

namespace {

HMODULE gModule = nullptr;
LONG gObjects = 0;

class Minimal final : public IMinimal {
 public:
  explicit Minimal(ITypeInfo* info) : info_(info) { ::InterlockedIncrement(&gObjects); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IMinimal ? this : nullptr;
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&references_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = ::InterlockedDecrement(&references_);
    if (left == 0) {
      info_->Release();
      ::InterlockedDecrement(&gObjects);
      delete this;
    }
    return static_cast<ULONG>(left);
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    if (index != 0) return DISP_E_BADINDEX;
    info_->AddRef();
    *info = info_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    return ::DispGetIDsOfNames(info_, names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                                   EXCEPINFO* exception, UINT* argumentError) override {
    return ::DispInvoke(this, info_, id, flags, parameters, result, exception, argumentError);
  }

  HRESULT STDMETHODCALLTYPE Initialize(LONG, BSTR, IDispatch*, VARIANT_BOOL* answer) override {
    if (!answer) return E_POINTER;
    *answer = VARIANT_TRUE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Configure(VARIANT* answer) override {
    if (!answer) return E_POINTER;
    ::VariantInit(answer);
    return S_OK;
  }

 private:
  ~Minimal() = default;
  LONG references_ = 1;
  ITypeInfo* info_;
};

class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = iid == IID_IUnknown || iid == IID_IClassFactory ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    wchar_t path[MAX_PATH];
    if (::GetModuleFileNameW(gModule, path, MAX_PATH) == 0) return E_FAIL;
    ITypeLib* library = nullptr;
    HRESULT hr = ::LoadTypeLibEx(path, REGKIND_NONE, &library);
    if (FAILED(hr)) return hr;
    ITypeInfo* info = nullptr;
    hr = library->GetTypeInfoOfGuid(IID_IMinimal, &info);
    library->Release();
    if (FAILED(hr)) return hr;
    Minimal* object = new (std::nothrow) Minimal(info);
    if (!object) {
      info->Release();
      return E_OUTOFMEMORY;
    }
    hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory gFactory;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) gModule = module;
  return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (clsid != CLSID_Minimal) return CLASS_E_CLASSNOTAVAILABLE;
  return gFactory.QueryInterface(iid, out);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return gObjects == 0 ? S_OK : S_FALSE; }
