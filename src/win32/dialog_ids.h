#pragma once
// How the configuration window names itself and its controls, for the window and for the
// hosts and tests that find it and act on it as a user would.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "ports/controls.h"
#include "text_win32.h"

namespace velmora::win32 {

// The dialog manager's own class: the window registers none. Message boxes share it, so
// the window is known by its caption too.
inline constexpr wchar_t kDialogWindowClass[] = L"#32770";
inline constexpr wchar_t kDialogCaption[] = L"Zorvane";

inline bool IsDialogWindow(HWND window) {
  wchar_t name[16] = {};
  wchar_t caption[16] = {};
  ::GetClassNameW(window, name, 16);
  ::GetWindowTextW(window, caption, 16);
  return ::lstrcmpW(name, kDialogWindowClass) == 0 && ::lstrcmpW(caption, kDialogCaption) == 0;
}

// Control identifiers start above IDOK and IDCANCEL, which the dialog manager sends for
// Enter and Escape: neither button is the window's default or cancel button.
inline constexpr int kFirstControlWindowId = 100;

constexpr int ControlWindowId(ControlId control) { return kFirstControlWindowId + static_cast<int>(control); }

constexpr std::optional<ControlId> ControlOfWindowId(int id) {
  if (id < kFirstControlWindowId || id >= kFirstControlWindowId + static_cast<int>(kControlCount)) return std::nullopt;
  return static_cast<ControlId>(id - kFirstControlWindowId);
}

// Where a control takes typed text: a list's own edit box, any other control itself.
inline HWND EditFieldOf(HWND control, ControlId id) {
  if (Info(id).kind != ControlKind::kList) return control;
  COMBOBOXINFO parts{};
  parts.cbSize = sizeof parts;
  return ::GetComboBoxInfo(control, &parts) && parts.hwndItem ? parts.hwndItem : control;
}

inline std::u16string WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return FromWide(text);
}

// An edit field's selection: start (the caret) and end.
inline std::pair<std::int32_t, std::int32_t> Selection(HWND edit) {
  DWORD start = 0;
  DWORD end = 0;
  ::SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return {static_cast<std::int32_t>(start), static_cast<std::int32_t>(end)};
}

}  // namespace velmora::win32
