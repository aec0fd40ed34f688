#include "class_factory.h"

#include <unknwn.h>

#include <atomic>

#include "com_error.h"
#include "module.h"
#include "velmora_object.h"

namespace velmora::win32 {

namespace {

class ClassFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IClassFactory)) {
      *object = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  // A static object, counted all the same: a client holding it keeps the DLL loaded.
  ULONG STDMETHODCALLTYPE AddRef() override {
    const long references = ++references_;
    if (references == 1) LockModule();
    return static_cast<ULONG>(references);
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const long references = --references_;
    if (references == 0) UnlockModule();
    return static_cast<ULONG>(references);
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return Guarded([&] { return VelmoraObject::Create(iid, object); });
  }

  // A lock keeps the DLL loaded, so the next CreateInstance is cheap.
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      ++locks_;
      LockModule();
      return S_OK;
    }
    // An unbalanced unlock must not release what objects and windows hold.
    long locks = locks_.load();
    while (locks > 0 && !locks_.compare_exchange_weak(locks, locks - 1)) {
    }
    if (locks > 0) UnlockModule();
    return S_OK;
  }

 private:
  std::atomic<long> references_{0};
  std::atomic<long> locks_{0};
};

ClassFactory factory;

}  // namespace

HRESULT GetClassFactory(REFIID iid, void** object) { return factory.QueryInterface(iid, object); }

}  // namespace velmora::win32
