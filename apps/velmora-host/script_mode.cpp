#include <fstream>
#include <iostream>
#include <memory>

#include "modes.h"
#include "posix/fixed_regional.h"
#include "posix/registry_file.h"
#include "script/core_host.h"
#include "script/runner.h"
#include "virtual/memory_registry.h"
#include "virtual/virtual_time.h"

namespace velmora::host {

namespace {
DateTime DefaultClock() { return DateTime::FromDate(std::chrono::year{2026} / 1 / 1); }
}  // namespace

int RunScriptMode(const Options& options) {
  std::ifstream file;
  std::istream* in = &std::cin;
  const std::string name = options.script == "-" ? "<stdin>" : options.script;
  if (options.script != "-") {
    file.open(options.script, std::ios::binary);
    if (!file) {
      std::cerr << "velmora-host: cannot read " << options.script << "\n";
      return 1;
    }
    in = &file;
  }
  std::vector<script::ParsedLine> lines;
  script::ScriptError error;
  if (!script::ParseScript(*in, lines, error)) {
    std::cerr << name << ":" << error.lineNumber << ": " << error.message << "\n";
    return 2;
  }

  FixedRegional regional;
  std::unique_ptr<Registry> registry;
  if (options.store) {
    registry = std::make_unique<RegistryFile>(*options.store);
  } else {
    registry = std::make_unique<MemoryRegistry>();
  }
  VirtualTime time(options.clock.value_or(DefaultClock()));
  script::ScriptOutput output([](std::string_view line) { std::cout << line << '\n'; });
  script::CoreHost host(output, {&time, &regional, registry.get(), [&time] { return time.MakeTimer(); }, &time});
  script::ScriptRunner runner(host, output);
  for (const script::ParsedLine& line : lines) runner.Execute(line.command);
  std::cout.flush();
  return 0;
}

}  // namespace velmora::host
