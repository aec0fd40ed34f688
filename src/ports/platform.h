#pragma once
// What a host layer hands the core: one implementation of each port. Everything here must
// outlive the Plugin built on it.
#include <functional>
#include <memory>
#include <string>

#include "ports/clock.h"
#include "ports/dialog_view.h"
#include "ports/name_channel.h"
#include "ports/regional.h"
#include "ports/registry.h"
#include "ports/timer.h"

namespace velmora {

class Form1;

struct Platform {
  Clock* clock = nullptr;
  const Regional* regional = nullptr;
  Registry* registry = nullptr;
  NameChannel* nameChannel = nullptr;
  std::function<std::unique_ptr<Timer>()> makeTimer;
  std::function<std::unique_ptr<DialogView>(Form1&)> makeView;
  // The component's file name without its extension; it names the settings key.
  std::u16string componentName = u"Velmora";
};

}  // namespace velmora
