#pragma once
// Where Form1 gets its view on Windows: the configuration window (dialog_window.cpp).
#include <memory>

#include "dialog/form1.h"
#include "ports/dialog_view.h"

namespace velmora::win32 {

std::unique_ptr<DialogView> MakeDialogView(Form1& form);

}  // namespace velmora::win32
