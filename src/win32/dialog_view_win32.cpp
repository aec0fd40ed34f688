#include "dialog_view_win32.h"

#include <windows.h>
// The view's MessageBox is the port's operation, not the Win32 macro of that name.
#undef MessageBox

#include "text_win32.h"

namespace velmora::win32 {

namespace {

// The dialog without a window of its own yet: the model keeps every control's state, there
// is nothing to render, and showing returns at once with the model marked as shown until
// something hides it. Message boxes are the system's own.
class WindowlessView : public DialogView {
 public:
  void ControlChanged(ControlId) override {}
  void FocusChanged(ControlId) override {}
  void ShowModal() override {}
  void Hide() override {}
  void MessageBox(std::u16string_view title, std::u16string_view text, MessageIcon icon) override {
    const UINT style = MB_OK | MB_TASKMODAL | (icon == MessageIcon::kInformation ? MB_ICONINFORMATION : 0);
    ::MessageBoxW(nullptr, ToWide(text).c_str(), ToWide(title).c_str(), style);
  }
};

}  // namespace

std::unique_ptr<DialogView> MakeDialogView(Form1&) { return std::make_unique<WindowlessView>(); }

}  // namespace velmora::win32
