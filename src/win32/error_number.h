#pragma once
// How a plug-in error number travels in an HRESULT. A number n of 1..65535 travels as
// MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, n), the form automation clients decode
// back into the number; any other number is taken to be an HRESULT already.
#include <windows.h>

#include <cstdint>

namespace velmora::win32 {

inline HRESULT ErrorNumberToHresult(std::int32_t number) {
  if (number > 0 && number <= 0xFFFF)
    return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, static_cast<unsigned>(number));
  // Zero would read as success: the failure still has to reach the caller.
  return number == 0 ? E_FAIL : static_cast<HRESULT>(number);
}

inline std::int32_t HresultToErrorNumber(HRESULT hr) {
  if (FAILED(hr) && HRESULT_FACILITY(hr) == FACILITY_CONTROL) return HRESULT_CODE(hr);
  return static_cast<std::int32_t>(hr);
}

}  // namespace velmora::win32
