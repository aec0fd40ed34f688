#include "dispatch_call.h"

#include <oleauto.h>

#include <limits>
#include <memory>
#include <string>

#include "base/error.h"
#include "error_number.h"
#include "raii.h"
#include "text_win32.h"

namespace velmora::testhost {

namespace {

using win32::FromBstr;
using win32::ToBstr;
using win32::ToWide;
using win32::UniqueBstr;

// The storage behind one argument: by-reference variants point into it.
struct Slot {
  UniqueBstr text;
  LONG number = 0;
};

std::u16string SystemText(HRESULT hr) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = length ? std::wstring(buffer, length) : L"Automation error";
  if (buffer) ::LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.')) text.pop_back();
  return win32::FromWide(text);
}

[[noreturn]] void ThrowFailure(HRESULT hr, EXCEPINFO& exception) {
  if (hr == DISP_E_EXCEPTION) {
    if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
    const HRESULT code = exception.scode != 0 ? exception.scode : static_cast<HRESULT>(exception.wCode);
    std::u16string description = FromBstr(exception.bstrDescription);
    ::SysFreeString(exception.bstrDescription);
    ::SysFreeString(exception.bstrSource);
    ::SysFreeString(exception.bstrHelpFile);
    throw VelmoraError(win32::HresultToErrorNumber(code), std::move(description));
  }
  throw VelmoraError(win32::HresultToErrorNumber(hr), SystemText(hr));
}

script::Answer AnswerOf(const VARIANT& result) {
  switch (result.vt) {
    case VT_EMPTY: return std::monostate{};
    case VT_BOOL: return result.boolVal != VARIANT_FALSE;
    case VT_I2: return static_cast<std::int32_t>(result.iVal);
    case VT_I4: return static_cast<std::int32_t>(result.lVal);
    case VT_BSTR: return FromBstr(result.bstrVal);
    default: throw VelmoraError(13, u"Type mismatch");
  }
}

}  // namespace

script::Answer CallByName(IDispatch& object, const script::Operation& operation,
                          std::vector<script::Argument>& arguments) {
  std::wstring name = ToWide(std::u16string(operation.name.begin(), operation.name.end()));
  LPOLESTR names[] = {name.data()};
  DISPID id = 0;
  HRESULT hr = object.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) throw VelmoraError(438, u"Object doesn't support this property or method");

  const std::size_t count = operation.parameters.size();
  std::vector<Slot> slots(count);
  // Invoke takes the arguments last first.
  std::vector<VARIANTARG> variants(count);
  for (std::size_t i = 0; i < count; ++i) {
    const script::Parameter& parameter = operation.parameters[i];
    VARIANTARG& variant = variants[count - 1 - i];
    ::VariantInit(&variant);
    Slot& slot = slots[i];
    switch (parameter.kind) {
      case script::ParameterKind::kObject:
        variant.vt = VT_DISPATCH;
        variant.pdispVal = nullptr;
        break;
      case script::ParameterKind::kString:
        slot.text = ToBstr(std::get<std::u16string>(arguments[i]));
        if (!slot.text) throw std::bad_alloc();
        if (parameter.inOut) {
          variant.vt = VT_BSTR | VT_BYREF;
          variant.pbstrVal = slot.text.addressof();
        } else {
          variant.vt = VT_BSTR;
          variant.bstrVal = slot.text.get();
        }
        break;
      case script::ParameterKind::kInt32: {
        const std::int32_t number = std::get<std::int32_t>(arguments[i]);
        slot.number = number;
        if (parameter.inOut) {
          variant.vt = VT_I4 | VT_BYREF;
          variant.plVal = &slot.number;
        } else if (number >= std::numeric_limits<SHORT>::min() && number <= std::numeric_limits<SHORT>::max()) {
          variant.vt = VT_I2;
          variant.iVal = static_cast<SHORT>(number);
        } else {
          variant.vt = VT_I4;
          variant.lVal = number;
        }
        break;
      }
    }
  }

  DISPPARAMS parameters{variants.data(), nullptr, static_cast<UINT>(count), 0};
  win32::UniqueVariant result;
  EXCEPINFO exception{};
  UINT argumentError = 0;
  hr = object.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, &result, &exception,
                     &argumentError);
  if (FAILED(hr)) ThrowFailure(hr, exception);

  for (std::size_t i = 0; i < count; ++i) {
    const script::Parameter& parameter = operation.parameters[i];
    if (!parameter.inOut) continue;
    if (parameter.kind == script::ParameterKind::kString) {
      arguments[i] = FromBstr(slots[i].text.get());
    } else if (parameter.kind == script::ParameterKind::kInt32) {
      arguments[i] = static_cast<std::int32_t>(slots[i].number);
    }
  }
  return AnswerOf(result);
}

}  // namespace velmora::testhost
