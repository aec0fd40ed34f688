#include "message_boxes.h"

#include <string>

#include "dialog_window.h"
#include "text_win32.h"

namespace velmora::testhost {

namespace {

thread_local MessageBoxWatcher* watcher = nullptr;

// The system's dialog class, which message boxes are made of.
constexpr wchar_t kMessageBoxClass[] = L"#32770";
// The identifier of a message box's text.
constexpr int kTextId = 0xFFFF;

std::u16string WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return win32::FromWide(text);
}

bool IsIconStatic(HWND child) {
  wchar_t className[16] = {};
  ::GetClassNameW(child, className, static_cast<int>(std::size(className)));
  return ::lstrcmpiW(className, L"Static") == 0 && (::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
}

}  // namespace

MessageBoxWatcher::MessageBoxWatcher(std::function<void(const Box&)> seen, bool answerLater)
    : seen_(std::move(seen)), answerLater_(answerLater), previous_(watcher) {
  hook_ = ::SetWindowsHookExW(WH_CBT, &HookProc, nullptr, ::GetCurrentThreadId());
  watcher = this;
}

MessageBoxWatcher::~MessageBoxWatcher() {
  if (hook_) ::UnhookWindowsHookEx(hook_);
  watcher = previous_;
}

void MessageBoxWatcher::Answer(HWND box) { ::PostMessageW(box, WM_COMMAND, IDOK, 0); }

LRESULT CALLBACK MessageBoxWatcher::HookProc(int code, WPARAM wParam, LPARAM lParam) {
  if (watcher) {
    const auto window = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_ACTIVATE) watcher->Activated(window);
    if (code == HCBT_DESTROYWND) watcher->reported_.erase(window);
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

void MessageBoxWatcher::Activated(HWND window) {
  wchar_t className[16] = {};
  ::GetClassNameW(window, className, static_cast<int>(std::size(className)));
  // The configuration window is a dialog of the same class.
  if (::lstrcmpW(className, kMessageBoxClass) != 0 || win32::IsDialogWindow(window) || !reported_.insert(window).second) {
    return;
  }

  Box box{window, WindowText(window), MessageIcon::kNone, {}};
  if (const HWND text = ::GetDlgItem(window, kTextId)) box.text = WindowText(text);
  // The box shows the system's shared icon, the same handle LoadIcon answers.
  const auto information = reinterpret_cast<LRESULT>(::LoadIconW(nullptr, IDI_INFORMATION));
  for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (IsIconStatic(child) && ::SendMessageW(child, STM_GETICON, 0, 0) == information) {
      box.icon = MessageIcon::kInformation;
    }
  }
  seen_(box);
  if (!answerLater_) Answer(window);
}

}  // namespace velmora::testhost
