#pragma once
// The seam of VelmoraTest.dll (src/win32/test_seam.h), looked up in the loaded DLL.
#include <windows.h>

#include "test_seam.h"

namespace velmora::testhost {

struct Seam {
  // Throws std::runtime_error when the DLL lacks a seam function.
  explicit Seam(HMODULE dll);

  VelmoraSeamUseVirtualTimeFn UseVirtualTime;
  VelmoraSeamSetClockFn SetClock;
  VelmoraSeamAdvanceFn Advance;
  VelmoraSeamSleepFn Sleep;
  VelmoraSeamGetStateFn GetState;
  VelmoraSeamDialogShownFn DialogShown;
  VelmoraSeamGetControlFn GetControl;
};

}  // namespace velmora::testhost
