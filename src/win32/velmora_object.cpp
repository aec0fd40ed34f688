#include "velmora_object.h"

#include <new>
#include <string>

#include "com_error.h"
#include "plugin/plugin.h"
#include "text_win32.h"
#include "thread_plugins.h"
#include "type_library.h"

namespace velmora::win32 {

namespace {

using Microsoft::WRL::ComPtr;

// An in/out string: the operation works on a copy, and the caller's BSTR is replaced only
// when the operation changed the text, so an untouched parameter comes back as passed.
struct InOutText {
  explicit InOutText(BSTR* passed) : reference(passed), text(FromBstr(*passed)) {}

  HRESULT WriteBack() const {
    if (text == FromBstr(*reference)) return S_OK;
    UniqueBstr copy = ToBstr(text);
    if (!copy) return E_OUTOFMEMORY;
    ::SysFreeString(*reference);
    *reference = copy.release();
    return S_OK;
  }

  BSTR* reference;
  std::u16string text;
};

VARIANT_BOOL AsVariantBool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

Plugin& PluginForOperation() { return PluginOfThisThread(); }

// The vtable half of a dual interface's description; ITypeInfo::Invoke calls through it.
HRESULT VtableInfoOf(ITypeInfo* dispatchInfo, ITypeInfo** vtableInfo) {
  HREFTYPE reference = 0;
  const HRESULT hr = dispatchInfo->GetRefTypeOfImplType(-1, &reference);
  if (FAILED(hr)) return hr;
  return dispatchInfo->GetRefTypeInfo(reference, vtableInfo);
}

}  // namespace

HRESULT VelmoraObject::Create(REFIID iid, void** object) {
  ComPtr<ITypeInfo> dispatchInfo;
  HRESULT hr = LoadOwnTypeInfo(IID__clsVelmora, &dispatchInfo);
  if (FAILED(hr)) return hr;
  ComPtr<ITypeInfo> vtableInfo;
  hr = VtableInfoOf(dispatchInfo.Get(), &vtableInfo);
  if (FAILED(hr)) return hr;
  auto* created = new (std::nothrow) VelmoraObject(std::move(dispatchInfo), std::move(vtableInfo));
  if (!created) return E_OUTOFMEMORY;
  hr = created->QueryInterface(iid, object);
  created->Release();
  return hr;
}

VelmoraObject::VelmoraObject(ComPtr<ITypeInfo> dispatchInfo, ComPtr<ITypeInfo> vtableInfo)
    : dispatchInfo_(std::move(dispatchInfo)), vtableInfo_(std::move(vtableInfo)) {
  ObjectMade();
}

VelmoraObject::~VelmoraObject() { ObjectReleased(); }

template <typename Operation>
HRESULT VelmoraObject::Run(Operation&& operation) {
  // The host may release its last reference, or leave COM, from inside the call (a nickname
  // or a dialog event reaches its window meanwhile); the object and the thread's plug-in
  // outlive it.
  AddRef();
  const HRESULT hr = Guarded([&] {
    const HostCall call;
    return operation();
  });
  Release();
  return hr;
}

// IUnknown ---------------------------------------------------------------------------------

HRESULT VelmoraObject::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IDispatch) ||
      ::IsEqualIID(iid, IID__clsVelmora)) {
    *object = static_cast<_clsVelmora*>(this);
  } else if (::IsEqualIID(iid, IID_ISupportErrorInfo)) {
    *object = static_cast<ISupportErrorInfo*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG VelmoraObject::AddRef() { return ++references_; }

ULONG VelmoraObject::Release() {
  const ULONG remaining = --references_;
  if (remaining == 0) delete this;
  return remaining;
}

// IDispatch --------------------------------------------------------------------------------

HRESULT VelmoraObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT VelmoraObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return dispatchInfo_.CopyTo(info);
}

HRESULT VelmoraObject::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!::IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  return ::DispGetIDsOfNames(vtableInfo_.Get(), names, count, ids);
}

HRESULT VelmoraObject::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO* exception, UINT* argumentError) {
  if (!::IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  // Error info left over from an earlier call must not describe this one.
  ::SetErrorInfo(0, nullptr);
  return vtableInfo_->Invoke(static_cast<_clsVelmora*>(this), id, flags, params, result, exception,
                             argumentError);
}

HRESULT VelmoraObject::InterfaceSupportsErrorInfo(REFIID iid) {
  return ::IsEqualIID(iid, IID__clsVelmora) ? S_OK : S_FALSE;
}

// _clsVelmora ------------------------------------------------------------------------------

HRESULT VelmoraObject::Initialize(LONG nVersion, BSTR sUserEmail, IDispatch*, VARIANT_BOOL* answer) {
  if (!answer) return E_POINTER;
  return Run([&] {
    *answer = AsVariantBool(PluginForOperation().Initialize(nVersion, FromBstr(sUserEmail)));
    return S_OK;
  });
}

HRESULT VelmoraObject::Uninitialize(VARIANT* answer) {
  if (!answer) return E_POINTER;
  ::VariantInit(answer);
  return Run([&] {
    PluginForOperation().Uninitialize();
    return S_OK;
  });
}

HRESULT VelmoraObject::Configure(VARIANT* answer) {
  if (!answer) return E_POINTER;
  ::VariantInit(answer);
  return Run([&] {
    PluginForOperation().Configure();
    return S_OK;
  });
}

HRESULT VelmoraObject::GetPublishInfo(BSTR* sPluginName, LONG* nCommandCount, LONG* nTagCount,
                                      VARIANT_BOOL* answer) {
  if (!sPluginName || !nCommandCount || !nTagCount || !answer) return E_POINTER;
  return Run([&] {
    InOutText name(sPluginName);
    std::int32_t commandCount = *nCommandCount;
    std::int32_t tagCount = *nTagCount;
    const bool done = PluginForOperation().GetPublishInfo(name.text, commandCount, tagCount);
    if (const HRESULT hr = name.WriteBack(); FAILED(hr)) return hr;
    *nCommandCount = commandCount;
    *nTagCount = tagCount;
    *answer = AsVariantBool(done);
    return S_OK;
  });
}

HRESULT VelmoraObject::GetPublishCommandInfo(LONG nCommandIdx, BSTR* sName, BSTR* sValue, BSTR* sHelp,
                                             VARIANT* answer) {
  if (!sName || !sValue || !sHelp || !answer) return E_POINTER;
  ::VariantInit(answer);
  return Run([&] {
    InOutText name(sName), value(sValue), help(sHelp);
    PluginForOperation().GetPublishCommandInfo(nCommandIdx, name.text, value.text, help.text);
    for (InOutText* text : {&name, &value, &help}) {
      if (const HRESULT hr = text->WriteBack(); FAILED(hr)) return hr;
    }
    return S_OK;
  });
}

HRESULT VelmoraObject::GetPublishTagInfo(LONG nTagIdx, BSTR* sName, BSTR* sValue, VARIANT* answer) {
  if (!sName || !sValue || !answer) return E_POINTER;
  ::VariantInit(answer);
  return Run([&] {
    InOutText name(sName), value(sValue);
    PluginForOperation().GetPublishTagInfo(nTagIdx, name.text, value.text);
    for (InOutText* text : {&name, &value}) {
      if (const HRESULT hr = text->WriteBack(); FAILED(hr)) return hr;
    }
    return S_OK;
  });
}

HRESULT VelmoraObject::ParseCommand(BSTR sCommand, BSTR sCommandArg, IDispatch*, BSTR* sResult,
                                    VARIANT_BOOL* answer) {
  if (!sResult || !answer) return E_POINTER;
  return Run([&] {
    InOutText result(sResult);
    const bool done = PluginForOperation().ParseCommand(FromBstr(sCommand), FromBstr(sCommandArg), result.text);
    if (const HRESULT hr = result.WriteBack(); FAILED(hr)) return hr;
    *answer = AsVariantBool(done);
    return S_OK;
  });
}

HRESULT VelmoraObject::ParseTag(BSTR sTag, IDispatch*, BSTR* sResult, VARIANT_BOOL* answer) {
  if (!sResult || !answer) return E_POINTER;
  return Run([&] {
    InOutText result(sResult);
    const bool done = PluginForOperation().ParseTag(FromBstr(sTag), result.text);
    if (const HRESULT hr = result.WriteBack(); FAILED(hr)) return hr;
    *answer = AsVariantBool(done);
    return S_OK;
  });
}

HRESULT VelmoraObject::ReceiveNotify(BSTR sNotifyCode, BSTR sText, BSTR sContactName, IDispatch*,
                                     BSTR* sTextToSend, VARIANT_BOOL* answer) {
  if (!sTextToSend || !answer) return E_POINTER;
  return Run([&] {
    InOutText textToSend(sTextToSend);
    const bool done = PluginForOperation().ReceiveNotify(FromBstr(sNotifyCode), FromBstr(sText),
                                                         FromBstr(sContactName), textToSend.text);
    if (const HRESULT hr = textToSend.WriteBack(); FAILED(hr)) return hr;
    *answer = AsVariantBool(done);
    return S_OK;
  });
}

}  // namespace velmora::win32
