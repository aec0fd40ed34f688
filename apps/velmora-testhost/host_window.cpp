#include "host_window.h"

#include <stdexcept>

#include "name_channel_win32.h"
#include "text_win32.h"

namespace velmora::testhost {

namespace {
constexpr wchar_t kWindowClass[] = L"VelmoraTestHostWindow";
constexpr UINT kRunNext = WM_APP + 1;
}  // namespace

HostWindow::HostWindow(Events events)
    : events_(std::move(events)), setNameMessage_(::RegisterWindowMessageA(win32::kSetNameMessage)) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &WindowProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kWindowClass;
  if (!::RegisterClassExW(&windowClass)) throw std::runtime_error("cannot register the host window class");
  // Top-level and never shown: broadcasts reach hidden top-level windows too.
  window_.reset(::CreateWindowExW(0, kWindowClass, L"Velmora test host", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 200, 100, nullptr, nullptr, windowClass.hInstance, this));
  if (!window_) throw std::runtime_error("cannot create the host window");
}

HostWindow::~HostWindow() {
  window_.reset();
  ::UnregisterClassW(kWindowClass, ::GetModuleHandleW(nullptr));
}

void HostWindow::Run() {
  ::PostMessageW(window_.get(), kRunNext, 0, 0);
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

LRESULT CALLBACK HostWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<HostWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
  return self->Handle(window, message, wParam, lParam);
}

LRESULT HostWindow::Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == setNameMessage_ && setNameMessage_ != 0) {
    // wParam is the plug-in's BSTR copy of the nickname, valid while this message is handled.
    const std::u16string text = win32::FromBstr(reinterpret_cast<BSTR>(wParam));
    return events_.setName(text) ? 1 : 0;
  }
  switch (message) {
    case kRunNext: {
      if (finished_) return 0;
      bool posted = false;
      const auto postNext = [&] {
        if (!posted) ::PostMessageW(window, kRunNext, 0, 0);
        posted = true;
      };
      if (events_.runNext(postNext)) {
        postNext();
      } else {
        finished_ = true;
        ::PostQuitMessage(0);
      }
      return 0;
    }
    default:
      return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace velmora::testhost
