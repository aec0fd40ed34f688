#include "type_library.h"

#include <oleauto.h>
#include <wrl/client.h>

#include "module.h"

namespace velmora::win32 {

HRESULT LoadOwnTypeInfo(REFGUID guid, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  const std::wstring path = ModulePath();
  if (path.empty()) return HRESULT_FROM_WIN32(::GetLastError());
  Microsoft::WRL::ComPtr<ITypeLib> library;
  const HRESULT hr = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
  if (FAILED(hr)) return hr;
  return library->GetTypeInfoOfGuid(guid, info);
}

}  // namespace velmora::win32
