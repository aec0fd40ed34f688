#include "virtual/virtual_platform.h"

namespace velmora {

Platform VirtualPlatform(VirtualTime& time, Registry& registry, const Regional& regional, NameChannel& host) {
  Platform platform;
  platform.clock = &time;
  platform.regional = &regional;
  platform.registry = &registry;
  platform.nameChannel = &host;
  platform.makeTimer = [&time] { return time.MakeTimer(); };
  return platform;
}

}  // namespace velmora
