#pragma once
// wchar_t is UTF-16 on Windows: the core's u16string crosses unchanged, unit for unit.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>

#include "raii.h"

namespace velmora::win32 {

inline std::wstring ToWide(std::u16string_view text) { return {text.begin(), text.end()}; }

inline std::u16string FromWide(std::wstring_view text) { return {text.begin(), text.end()}; }

// A BSTR may hold NULs; its length prefix, not the first NUL, ends it. NULL is empty.
inline std::u16string FromBstr(BSTR text) {
  return text ? FromWide({text, ::SysStringLen(text)}) : std::u16string{};
}

// Null on out of memory.
inline UniqueBstr ToBstr(std::u16string_view text) {
  const std::wstring wide = ToWide(text);
  return UniqueBstr{::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()))};
}

}  // namespace velmora::win32
