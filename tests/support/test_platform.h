#pragma once
// A plug-in platform made of virtual parts: time that moves only when told, an in-memory
// registry, the fixed regional forms, and a host that records the nicknames it gets.
#include <memory>
#include <string>
#include <vector>

#include "dialog/form1.h"
#include "ports/platform.h"
#include "posix/fixed_regional.h"
#include "virtual/memory_registry.h"
#include "virtual/virtual_time.h"

namespace velmora::testing {

struct RecordingHost : NameChannel {
  bool SetName(std::u16string_view text) override {
    names.emplace_back(text);
    return true;
  }
  std::vector<std::u16string> names;
};

// The fixed date and time forms with a settable decimal separator and, when asked, the
// German short date (d.M.yyyy), as a user's own regional settings may have them.
struct TestRegional : FixedRegional {
  [[nodiscard]] std::u16string DateTimeToText(DateTime value) const override;
  [[nodiscard]] std::optional<DateTime> TextToDateTime(std::u16string_view text) const override;
  [[nodiscard]] char16_t DecimalSeparator() const override { return separator; }
  char16_t separator = u'.';
  bool germanDates = false;
};

DateTime At(int year, unsigned month, unsigned day, int hours = 0, int minutes = 0, int seconds = 0);

class TestPlatform {
 public:
  explicit TestPlatform(DateTime start = At(2026, 1, 1));

  Platform Make();
  // Stores a setting for `email` the way the plug-in would have.
  void Store(std::u16string_view email, std::u16string_view key, std::u16string_view text);
  std::optional<std::u16string> Stored(std::u16string_view email, std::u16string_view key) const;

  VirtualTime time;
  MemoryRegistry registry;
  TestRegional regional;
  RecordingHost host;
};

}  // namespace velmora::testing
