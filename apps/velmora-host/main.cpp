// velmora-host: the development host of the plug-in on POSIX systems, and the driver of
// its host scripts.
#include <stdlib.h>

#include <iostream>
#include <stdexcept>

#include "base/text.h"
#include "modes.h"
#include "options.h"
#include "posix/registry_file.h"

int main(int argc, char** argv) {
  using namespace velmora::host;
  Options options;
  try {
    options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::invalid_argument& error) {
    std::cerr << "velmora-host: " << error.what() << "\n\n" << kUsage;
    return 1;
  }
  try {
    switch (options.mode) {
      case Options::Mode::kHelp:
        std::cout << kUsage;
        return 0;
      case Options::Mode::kScript:
        return RunScriptMode(options);
      case Options::Mode::kDemo:
        return RunDemo(options);
      case Options::Mode::kInteractive: {
        velmora::RegistryFile registry(options.store.value_or(velmora::DefaultRegistryFilePath()));
        Session session;
        session.registry = &registry;
        const char* user = std::getenv("USER");
        session.email = options.email.value_or(velmora::FromUtf8(std::string(user ? user : "user") + "@localhost"));
        session.runFor = options.runFor;
        session.banner = "Velmora development host: settings in " + registry.Path().string() + " for " +
                         velmora::ToUtf8(session.email) + ". Type help for commands.";
        return RunInteractive(session);
      }
    }
  } catch (const std::exception& error) {
    std::cerr << "velmora-host: " << error.what() << "\n";
    return 1;
  }
  return 1;
}
