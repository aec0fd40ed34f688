#include "com_error.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <string>

#include "text_win32.h"
#include "velmora_h.h"

namespace velmora::win32 {

namespace {

HRESULT SetErrorInfoFor(HRESULT hr, const std::wstring& description) noexcept {
  Microsoft::WRL::ComPtr<ICreateErrorInfo> create;
  if (FAILED(::CreateErrorInfo(&create))) return hr;
  create->SetGUID(IID__clsVelmora);
  create->SetSource(const_cast<LPOLESTR>(L"Velmora.clsVelmora"));
  std::wstring text = description;
  create->SetDescription(text.data());
  Microsoft::WRL::ComPtr<IErrorInfo> info;
  if (SUCCEEDED(create.As(&info))) ::SetErrorInfo(0, info.Get());
  return hr;
}

}  // namespace

HRESULT ReportError(const VelmoraError& error) {
  try {
    return SetErrorInfoFor(ErrorNumberToHresult(error.Number()), ToWide(error.Description()));
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ReportUnexpectedError() {
  try {
    return SetErrorInfoFor(E_UNEXPECTED, L"Unexpected failure in Velmora");
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace velmora::win32
