#pragma once
// The configuration window: how it names itself and its controls, for the hosts and tests that
// act on it as a user would, and its parts: the common controls, the template and the layout.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dialog/form1.h"
#include "ports/dialog_view.h"
#include "raii.h"
#include "text_win32.h"

namespace velmora::win32 {

// Its class is the dialog manager's, #32770, which message boxes share: the caption tells.
inline constexpr wchar_t kDialogCaption[] = L"Zorvane";
inline bool IsDialogWindow(HWND window) {
  wchar_t name[8] = {};
  wchar_t caption[8] = {};
  return ::GetClassNameW(window, name, 8) && ::lstrcmpW(name, L"#32770") == 0 && ::GetWindowTextW(window, caption, 8) &&
         ::lstrcmpW(caption, kDialogCaption) == 0;
}

// From above IDOK and IDCANCEL, which the dialog manager sends for Enter and Escape: neither
// button is the window's default or cancel button.
constexpr int ControlWindowId(ControlId control) { return 100 + static_cast<int>(control); }
constexpr std::optional<ControlId> ControlOfWindowId(int id) {
  const auto index = static_cast<std::size_t>(id - ControlWindowId(ControlId{}));
  return index < kControlCount ? std::optional{static_cast<ControlId>(index)} : std::nullopt;
}

// Where a control takes typed text: a list's own edit box, any other control itself.
inline HWND EditFieldOf(HWND control, ControlId id) {
  COMBOBOXINFO parts{};
  parts.cbSize = sizeof parts;
  const bool list = Info(id).kind == ControlKind::kList && ::GetComboBoxInfo(control, &parts);
  return list && parts.hwndItem ? parts.hwndItem : control;
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

// Form1's view on Windows (dialog_window.cpp).
std::unique_ptr<DialogView> MakeDialogView(Form1& form);

// The common controls, version 6, loaded only when the window is first made, since most hosts
// never open it, and in an activation context from the DLL's own manifest, since a DLL cannot
// count on its host's. The window and its message boxes are made in that context too.
struct CommonControls {
  CommonControls();
  bool Load();  // false when the library cannot be loaded

  UniqueAny<HANDLE, &::ReleaseActCtx> context;  // none without the manifest: the classic look
  UniqueAny<HMODULE, &::FreeLibrary> library;
  decltype(&::SetWindowSubclass) setSubclass = nullptr;
  decltype(&::RemoveWindowSubclass) removeSubclass = nullptr;
  decltype(&::DefSubclassProc) defSubclassProc = nullptr;
};
struct InContext {  // the context is active while one of these lives
  explicit InContext(const CommonControls& controls)
      : active(controls.context && ::ActivateActCtx(controls.context.get(), &cookie)) {}
  ~InContext() {
    if (active) ::DeactivateActCtx(0, cookie);
  }
  ULONG_PTR cookie = 0;
  bool active;
};

// The rest is dialog_layout.cpp's. A template for CreateDialogIndirectParam in the message font:
// the window order is the focus order, each label just before its field.
std::vector<WORD> DialogTemplate();

struct Layout {
  UniqueAny<HFONT, &::DeleteObject> font;
  UniqueAny<HFONT, &::DeleteObject> calendarFont;
  SIZE frame{};  // the whole window's size
  int dpi = 0;
};
// Places the controls at the window's DPI in the message font, the calendar as large as a month
// and its Today line need, and sizes the window: when it is made and on a change of DPI or
// message font. FALSE for any other message.
INT_PTR LayOut(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, Layout& layout);

// The lists' rows, the calendar's range, the spinners' middle, and names for screen readers
// where the platform's annotation service works (window texts name them where it does not).
void PrepareControls(HWND dialog, const Form1& form);

}  // namespace velmora::win32
