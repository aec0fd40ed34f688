#pragma once
// clsVelmora: the object a host creates. Its dual interface _clsVelmora carries the nine
// plug-in operations; IDispatch is driven by the embedded type library, which matches
// names case-insensitively, coerces arguments to the declared types and writes in/out
// parameters back through their references.
//
// Every object of one thread shares that thread's plug-in: its state, dialog and timer.
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <atomic>

#include "module.h"
#include "velmora_h.h"

namespace velmora::win32 {

class VelmoraObject final : public _clsVelmora, public ISupportErrorInfo {
 public:
  static HRESULT Create(REFIID iid, void** object);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

  // _clsVelmora
  HRESULT STDMETHODCALLTYPE Initialize(LONG nVersion, BSTR sUserEmail, IDispatch* oMessenger,
                                       VARIANT_BOOL* answer) override;
  HRESULT STDMETHODCALLTYPE Uninitialize(VARIANT* answer) override;
  HRESULT STDMETHODCALLTYPE Configure(VARIANT* answer) override;
  HRESULT STDMETHODCALLTYPE GetPublishInfo(BSTR* sPluginName, LONG* nCommandCount, LONG* nTagCount,
                                           VARIANT_BOOL* answer) override;
  HRESULT STDMETHODCALLTYPE GetPublishCommandInfo(LONG nCommandIdx, BSTR* sName, BSTR* sValue,
                                                  BSTR* sHelp, VARIANT* answer) override;
  HRESULT STDMETHODCALLTYPE GetPublishTagInfo(LONG nTagIdx, BSTR* sName, BSTR* sValue,
                                              VARIANT* answer) override;
  HRESULT STDMETHODCALLTYPE ParseCommand(BSTR sCommand, BSTR sCommandArg, IDispatch* oConversationWnd,
                                         BSTR* sResult, VARIANT_BOOL* answer) override;
  HRESULT STDMETHODCALLTYPE ParseTag(BSTR sTag, IDispatch* oConversationWnd, BSTR* sResult,
                                     VARIANT_BOOL* answer) override;
  HRESULT STDMETHODCALLTYPE ReceiveNotify(BSTR sNotifyCode, BSTR sText, BSTR sContactName,
                                          IDispatch* oConversationWnd, BSTR* sTextToSend,
                                          VARIANT_BOOL* answer) override;

 private:
  VelmoraObject(Microsoft::WRL::ComPtr<ITypeInfo> dispatchInfo, Microsoft::WRL::ComPtr<ITypeInfo> vtableInfo);
  ~VelmoraObject();

  // Runs one operation, holding the object for its length.
  template <typename Operation>
  HRESULT Run(Operation&& operation);

  std::atomic<ULONG> references_{1};
  // The dispinterface description that GetTypeInfo hands out, and the vtable description
  // of the dual interface that Invoke calls through.
  Microsoft::WRL::ComPtr<ITypeInfo> dispatchInfo_;
  Microsoft::WRL::ComPtr<ITypeInfo> vtableInfo_;
  ModuleReference moduleReference_;
};

}  // namespace velmora::win32
