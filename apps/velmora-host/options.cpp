#include "options.h"

#include <stdexcept>

#include "base/text.h"
#include "script/commands.h"

namespace velmora::host {

const char kUsage[] =
    "usage: velmora-host demo [--for SECONDS]\n"
    "       velmora-host [--store PATH] [--email ADDRESS]\n"
    "       velmora-host --script FILE|- [--store PATH] [--clock \"YYYY-MM-DD HH:MM:SS\"]\n"
    "\n"
    "demo      runs the plug-in on a scratch store seeded with a New Year countdown and\n"
    "          shows each nickname as it arrives; --for ends it after SECONDS.\n"
    "(none)    interactive: host commands, dialog actions and chat lines (\"/xcntenable\")\n"
    "          on the real clock; the store defaults to $XDG_CONFIG_HOME/velmora/registry.reg.\n"
    "--script  runs a host script on a virtual clock (default 2026-01-01 00:00:00); exits 0\n"
    "          when every line ran, 2 on a malformed line. Without --store the store is\n"
    "          kept in memory.\n";

namespace {
DateTime ParseClock(const std::string& text) {
  const std::u16string wide = FromUtf8(text);
  const auto blank = wide.find(u' ');
  const auto date = ParseIsoDate(std::u16string_view(wide).substr(0, blank));
  const auto time = blank == std::u16string::npos ? std::nullopt
                                                  : ParseIsoTime(std::u16string_view(wide).substr(blank + 1));
  if (!date || !time) throw std::invalid_argument("--clock takes \"YYYY-MM-DD HH:MM:SS\", not \"" + text + "\"");
  return DateTime::Combine(*date, *time);
}

double ParseSeconds(const std::string& text) {
  std::size_t used = 0;
  double seconds = -1;
  try {
    seconds = std::stod(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != text.size() || !(seconds >= 0)) {
    throw std::invalid_argument("--for takes a number of seconds, not \"" + text + "\"");
  }
  return seconds;
}
}  // namespace

Options ParseOptions(const std::vector<std::string>& arguments) {
  Options options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= arguments.size()) throw std::invalid_argument(argument + " needs a value");
      return arguments[++i];
    };
    if (argument == "demo" && i == 0) {
      options.mode = Options::Mode::kDemo;
    } else if (argument == "--help" || argument == "-h") {
      options.mode = Options::Mode::kHelp;
    } else if (argument == "--script") {
      options.mode = Options::Mode::kScript;
      options.script = value();
    } else if (argument == "--store") {
      options.store = value();
    } else if (argument == "--clock") {
      options.clock = ParseClock(value());
    } else if (argument == "--email") {
      options.email = FromUtf8(value());
    } else if (argument == "--for") {
      options.runFor = ParseSeconds(value());
    } else {
      throw std::invalid_argument("unknown argument \"" + argument + "\"");
    }
  }
  if (options.mode == Options::Mode::kHelp) return options;
  if (options.mode == Options::Mode::kDemo && (options.store || options.email || options.clock)) {
    throw std::invalid_argument("demo keeps its own store and address; --store, --email and --clock do not apply");
  }
  if (options.mode != Options::Mode::kScript && options.clock) {
    throw std::invalid_argument("--clock sets the virtual clock of --script");
  }
  if (options.mode == Options::Mode::kScript && (options.email || options.runFor)) {
    throw std::invalid_argument("a script gives its own Initialize; --email and --for do not apply");
  }
  return options;
}

}  // namespace velmora::host
