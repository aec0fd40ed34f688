#pragma once
// The configuration window on Windows: a dialog made from a template in memory that renders
// Form1's control state and feeds the user's input into Form1's User* entry points. The
// dialog manager moves the focus (Tab, arrows, access keys) in the template's window order.
//
// The window is made at the first show and then lives as long as the dialog model. Showing
// runs a modal loop of its own that returns when the model hides the window. Everything runs
// on the thread that made the plug-in, whose plug-in keeps the DLL loaded meanwhile.
#include <windows.h>
// The view's MessageBox is the port's operation, not the Win32 macro of that name.
#undef MessageBox

#include <bitset>
#include <vector>

#include "common_controls.h"
#include "dialog/form1.h"
#include "ports/dialog_view.h"
#include "raii.h"

namespace velmora::win32 {

class DialogWindow final : public DialogView {
 public:
  explicit DialogWindow(Form1& form);
  ~DialogWindow() override;
  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;

  void ControlChanged(ControlId control) override;
  void FocusChanged(ControlId control) override;
  void ShowModal() override;
  void Hide() override;
  void MessageBox(std::u16string_view title, std::u16string_view text, MessageIcon icon) override;

 private:
  using UniqueFont = UniqueAny<HFONT, &::DeleteObject>;

  bool Create();
  void Initialize();
  [[nodiscard]] HWND Window(ControlId control) const;

  // dialog_layout.cpp: the template, and the layout in its dialog units at the window's
  // DPI and in the user's message font, the calendar as large as it needs.
  static std::vector<WORD> Template();
  void Layout(int dpi);
  void PlaceCalendar(const LOGFONTW& face, int width, int& height);
  static void Name(HWND control, const wchar_t* name);

  // Rendering: model -> controls, comparing before each write.
  void Render(ControlId control);
  void RenderFocus();

  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void OnCommand(ControlId control, UINT code);
  LRESULT OnNotify(ControlId control, const NMHDR& header);

  // The controls' subclass procedure: keys, characters, focus and clicks reach the model.
  static LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                      DWORD_PTR self);
  LRESULT HandleControl(ControlId control, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT PaintWithFocusMark(HWND window);

  // Runs a user action on the model, unless the view itself is writing into the controls;
  // a failure is shown in a message box, as the runtime of such a dialog reports it.
  template <typename Action>
  void UserInput(Action&& action);
  void ReportFailure() noexcept;

  Form1& form_;
  CommonControls commonControls_;
  UniqueFont font_;
  UniqueFont calendarFont_;
  UniqueHwnd window_;
  // The rows the open calendar lies over: hidden while it is open.
  std::bitset<kControlCount> covered_;
  SIZE frameSize_{};  // the whole window's, as the layout wants it
  int dpi_ = 0;
  int rendering_ = 0;  // writes into the controls in progress; their notifications are not the user's
  bool modal_ = false;
};

}  // namespace velmora::win32
