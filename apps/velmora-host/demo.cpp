#include <stdlib.h>

#include <filesystem>
#include <iostream>

#include "base/text.h"
#include "modes.h"
#include "posix/fixed_regional.h"
#include "posix/registry_file.h"
#include "posix/system_clock.h"
#include "script/format.h"
#include "settings/settings_store.h"

namespace velmora::host {

namespace {
constexpr std::u16string_view kDemoEmail = u"demo@velmora.invalid";
constexpr std::u16string_view kDemoTemplate = u"New Year in %d day[ds], %hh:%mm:%ss";

// A scratch folder that goes away with the demo.
class ScratchFolder {
 public:
  ScratchFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/velmora-demo-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a scratch folder");
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  [[nodiscard]] const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace

int RunDemo(const Options& options) {
  ScratchFolder folder;
  RegistryFile registry(folder.Path() / "registry.reg");
  FixedRegional regional;
  const DateTime now = SystemClock().Now();
  const DateTime newYear = DateTime::FromDate((now.Ymd().year() + std::chrono::years{1}) / 1 / 1);

  // The profile a user would leave with OK: counting down, refreshed every 6 seconds, on.
  const std::u16string key = SettingsKeyPath(kDemoEmail, u"Velmora");
  const auto store = [&](std::u16string_view name, std::u16string_view text) {
    SaveString(registry, RegistryRoot::kCurrentUser, key, name, text);
  };
  store(kKeyEnable, u"True");
  store(kKeyNick, kDemoTemplate);
  store(kKeyType, u"2");
  store(kKeyToDate, regional.DateTimeToText(newYear));
  store(kKeyToTime, u"00:00:00");
  store(kKeyInterval, u"6s");

  Session session;
  session.registry = &registry;
  session.email = std::u16string{kDemoEmail};
  session.runFor = options.runFor;
  session.banner = "Velmora demo: template \"" + ToUtf8(kDemoTemplate) + "\", counting down to " +
                   script::DateText(newYear) +
                   " 00:00:00, a new nickname every 6 seconds.\n"
                   "Type help for commands, /xcntsetnick <template> to change the template; Ctrl-C ends.";
  return RunInteractive(session);
}

}  // namespace velmora::host
