#pragma once
// Turning the core's failures into what automation clients read: a failure HRESULT plus
// error info, which ITypeInfo::Invoke hands to the caller as DISP_E_EXCEPTION with its
// EXCEPINFO filled in.
#include <windows.h>

#include <cstdint>
#include <new>

#include "base/error.h"
#include "error_number.h"

namespace velmora::win32 {

HRESULT ReportError(const VelmoraError& error);
HRESULT ReportUnexpectedError();

// Runs one operation of the plug-in; nothing it throws leaves the COM boundary.
template <typename Operation>
HRESULT Guarded(Operation&& operation) noexcept {
  try {
    return operation();
  } catch (const VelmoraError& error) {
    return ReportError(error);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return ReportUnexpectedError();
  }
}

}  // namespace velmora::win32
