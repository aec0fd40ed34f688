#include "dialog_view_win32.h"

#include "dialog_window.h"

namespace velmora::win32 {

std::unique_ptr<DialogView> MakeDialogView(Form1& form) { return std::make_unique<DialogWindow>(form); }

}  // namespace velmora::win32
