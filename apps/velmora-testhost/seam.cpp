#include "seam.h"

#include <stdexcept>
#include <string>

namespace velmora::testhost {

namespace {
template <typename Function>
Function Find(HMODULE dll, const char* name) {
  const FARPROC found = ::GetProcAddress(dll, name);
  if (!found) throw std::runtime_error(std::string("the DLL does not export ") + name);
  return reinterpret_cast<Function>(reinterpret_cast<void*>(found));
}
}  // namespace

Seam::Seam(HMODULE dll)
    : UseVirtualTime(Find<VelmoraSeamUseVirtualTimeFn>(dll, "VelmoraSeamUseVirtualTime")),
      SetClock(Find<VelmoraSeamSetClockFn>(dll, "VelmoraSeamSetClock")),
      Advance(Find<VelmoraSeamAdvanceFn>(dll, "VelmoraSeamAdvance")),
      Sleep(Find<VelmoraSeamSleepFn>(dll, "VelmoraSeamSleep")),
      GetState(Find<VelmoraSeamGetStateFn>(dll, "VelmoraSeamGetState")),
      DialogShown(Find<VelmoraSeamDialogShownFn>(dll, "VelmoraSeamDialogShown")),
      GetControl(Find<VelmoraSeamGetControlFn>(dll, "VelmoraSeamGetControl")) {}

}  // namespace velmora::testhost
