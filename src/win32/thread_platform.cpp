// The platform of the shipped DLL: every thread's plug-in runs on that thread's real ports.
#include "dialog_window.h"
#include "module.h"
#include "thread_plugins.h"

namespace velmora::win32 {

Platform MakeThreadPlatform(ThreadPorts& ports) {
  Platform platform;
  platform.clock = &ports.clock;
  platform.regional = &ports.regional;
  platform.registry = &ports.registry;
  platform.nameChannel = &ports.nameChannel;
  TimerWindow* window = &ports.timerWindow;
  platform.makeTimer = [window]() -> std::unique_ptr<Timer> { return std::make_unique<WindowTimer>(*window); };
  platform.makeView = &MakeDialogView;
  platform.componentName = ModuleBaseName();
  return platform;
}

}  // namespace velmora::win32
