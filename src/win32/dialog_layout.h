#pragma once
// How the configuration window is made: its template and its layout in dialog units (a
// quarter of the message font's average character width across, an eighth of its line height
// down, so the window grows with the user's font and the DPI), and the common controls.
#include <windows.h>
#include <commctrl.h>

#include <bitset>
#include <memory>
#include <vector>

#include "dialog/form1.h"
#include "ports/controls.h"
#include "ports/dialog_view.h"
#include "raii.h"

namespace velmora::win32 {

// The configuration window, Form1's view on Windows (dialog_window.cpp).
std::unique_ptr<DialogView> MakeDialogView(Form1& form);

// The common controls, version 6 (the visual styles), loaded only when the window is first
// made, since most hosts never open it, and in an activation context from the DLL's own
// manifest, since a DLL cannot count on its host's. The window is made in it too.
struct CommonControls {
  CommonControls();
  bool Load();  // false when the library cannot be loaded

  UniqueAny<HANDLE, &::ReleaseActCtx> context;  // none without the manifest: the classic look
  UniqueAny<HMODULE, &::FreeLibrary> library;
  decltype(&::SetWindowSubclass) setSubclass = nullptr;
  decltype(&::RemoveWindowSubclass) removeSubclass = nullptr;
  decltype(&::DefSubclassProc) defSubclassProc = nullptr;
};
// The context is active while one of these lives.
struct InContext {
  explicit InContext(const CommonControls& controls)
      : active(controls.context && ::ActivateActCtx(controls.context.get(), &cookie)) {}
  ~InContext() {
    if (active) ::DeactivateActCtx(0, cookie);
  }
  ULONG_PTR cookie = 0;
  bool active;
};

// For CreateDialogIndirectParam, in the user's message font. The window order is the focus
// order, each label just before its field; the spinners and the calendar carry their names.
std::vector<WORD> DialogTemplate();

struct Layout {
  UniqueAny<HFONT, &::DeleteObject> font;
  UniqueAny<HFONT, &::DeleteObject> calendarFont;
  std::bitset<kControlCount> covered;  // the rows the open calendar lies over
  SIZE frame{};                        // the whole window's size
  int dpi = 0;                         // none yet: the window's own monitor's
};
// Places the controls at the layout's DPI in the message font, the calendar as large as a
// month and its Today line need (the rows below it move down when it needs more), and sizes
// the window. Also on a change of DPI or message font; FALSE for any other message.
INT_PTR LayOut(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, Layout& layout);

// The lists' rows, the calendar's range, the spinners' middle, and the spinners' and the
// calendar's names for screen readers where the platform's annotation service works (their
// window texts name them where it does not).
void PrepareControls(HWND dialog, const Form1& form);

// The spinners and the calendar draw no focus of their own: they get the dotted frame that
// buttons show, drawn over what they repaint and only there, so as not to rub out an earlier one.
LRESULT PaintWithFocusMark(HWND control, decltype(&::DefSubclassProc) paint);

}  // namespace velmora::win32
