#pragma once
// The configuration window on Windows: a top-level window of the platform's controls that
// renders Form1's control state and feeds the user's input into Form1's User* entry points.
//
// The window is made at the first show and then lives as long as the dialog model (the
// thread's plug-in, which owns it, keeps the DLL loaded meanwhile). Showing runs
// a modal loop of its own that returns when the model hides the window. Everything runs on
// the thread that made the plug-in.
#include <windows.h>
// The view's MessageBox is the port's operation, not the Win32 macro of that name.
#undef MessageBox

#include <array>
#include <optional>

#include "dialog/form1.h"
#include "dialog_visual_styles.h"
#include "module.h"
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
  void CreateControl(ControlId id);

  // Layout: rows as tall as their texts need in the message font at the window's DPI.
  void Layout();
  [[nodiscard]] int Scale(int pixels) const;
  [[nodiscard]] int LineHeight(HFONT font) const;
  [[nodiscard]] int NeededHeight(ControlId id, int width, int line) const;
  // Places the calendar at `top`; answers its bottom.
  int PlaceCalendar(const LOGFONTW& face, int top);
  // Whether the open calendar lies over the control.
  [[nodiscard]] bool Covered(HWND control) const;
  [[nodiscard]] HWND Window(ControlId control) const { return controls_[static_cast<std::size_t>(control)]; }
  // Where a list's text is edited and typed into: its edit field; any other control itself.
  [[nodiscard]] HWND EditField(ControlId control) const;
  [[nodiscard]] std::optional<ControlId> ControlOfWindow(HWND window) const;

  // Rendering: model -> controls, comparing before each write.
  void Render(ControlId control);
  void RenderFocus();

  // The window's procedure and its handlers.
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void OnCommand(ControlId control, UINT code);
  LRESULT OnNotify(ControlId control, const NMHDR& header);
  void OnClose();

  // The controls' subclass procedure: keys, characters, focus and clicks reach the model.
  static LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                      DWORD_PTR self);
  LRESULT HandleControl(ControlId control, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static bool HasFocusMark(ControlId control);
  static LRESULT PaintWithFocusMark(HWND window);

  // The modal loop's keyboard handling before dispatch; true when the message was used.
  bool PreTranslate(MSG& message);
  void MoveFocus(bool forward);

  // Runs a user action on the model, unless the view itself is writing into the controls.
  template <typename Action>
  void UserInput(Action&& action);
  // Inside a catch: the failure in a Velmora message box, as the runtime of such a dialog
  // reports what the user's action raised.
  void ReportFailure() noexcept;
  void ShowFailure(std::u16string_view text) noexcept;

  Form1& form_;
  VisualStyles styles_;
  UniqueFont font_;
  UniqueFont calendarFont_;
  UniqueHwnd window_;
  std::array<HWND, kControlCount> controls_{};
  int dpi_ = 96;        // the window's, from the system and then from each DPI change
  int systemDpi_ = 96;  // the one the system's font metrics are given in
  SIZE frameSize_{};    // the whole window's, as the layout wants it
  int rendering_ = 0;  // writes into the controls in progress; their notifications are not the user's
  bool modal_ = false;
};

}  // namespace velmora::win32
