#pragma once
// The object a window procedure works on hangs off its window, not off globals: it comes in
// as the creation parameter and is kept in the window's user data.
#include <windows.h>

namespace velmora::win32 {

template <class T>
T* WindowStateOf(HWND window, UINT message, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  return reinterpret_cast<T*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

}  // namespace velmora::win32
