#include "thread_platform.h"

#include <optional>

#include "clock_win32.h"
#include "dialog_view_win32.h"
#include "module.h"
#include "name_channel_win32.h"
#include "regional_win32.h"
#include "registry_win32.h"
#include "timer_win32.h"

namespace velmora::win32 {

namespace {

struct ThreadPorts {
  LocalClock clock;
  UserRegional regional;
  WindowsRegistry registry;
  BroadcastNameChannel nameChannel;
  TimerWindow timerWindow;
  std::unique_ptr<VirtualTime> virtualTime;
  std::optional<VelmoraError> injectedFailure;
  bool pluginMade = false;

  ThreadPorts() {
    timerWindow.SetClockJumpHandler([] {
      if (Plugin* plugin = ExistingPluginOfThisThread()) plugin->ClockJumped();
    });
  }

  Platform MakePlatform() {
    Platform platform;
    platform.clock = virtualTime ? static_cast<Clock*>(virtualTime.get()) : &clock;
    platform.regional = &regional;
    platform.registry = &registry;
    platform.nameChannel = &nameChannel;
    platform.makeTimer = [this]() -> std::unique_ptr<Timer> {
      if (virtualTime) return std::make_unique<HoldingTimer>(virtualTime->MakeTimer(), timerWindow);
      return std::make_unique<WindowTimer>(timerWindow);
    };
    platform.makeView = &MakeDialogView;
    platform.componentName = ModuleBaseName();
    return platform;
  }
};

// Made before the core's per-thread plug-in, so the plug-in, which points into the ports,
// is destroyed first when the thread ends.
thread_local std::unique_ptr<ThreadPorts> threadPorts;

ThreadPorts& Ports() {
  if (!threadPorts) threadPorts = std::make_unique<ThreadPorts>();
  return *threadPorts;
}

}  // namespace

Plugin& PluginOfThisThread() {
  ThreadPorts& ports = Ports();
  Plugin& plugin = PluginForThisThread([&ports] { return ports.MakePlatform(); });
  ports.pluginMade = true;
  return plugin;
}

Plugin* ExistingPluginOfThisThread() { return Ports().pluginMade ? &PluginOfThisThread() : nullptr; }

bool UseVirtualTime(DateTime start) {
  ThreadPorts& ports = Ports();
  if (ports.pluginMade) return false;
  ports.virtualTime = std::make_unique<VirtualTime>(start);
  return true;
}

VirtualTime* VirtualTimeOfThisThread() { return Ports().virtualTime.get(); }

void InjectFailure(VelmoraError error) { Ports().injectedFailure = std::move(error); }

void RaiseInjectedFailure() {
  ThreadPorts& ports = Ports();
  if (!ports.injectedFailure) return;
  const VelmoraError error = std::move(*ports.injectedFailure);
  ports.injectedFailure.reset();
  throw error;
}

}  // namespace velmora::win32
