#pragma once
// A plug-in platform made of virtual parts: time that moves only when told, an in-memory
// registry, the fixed regional forms, and a host and a view that record what they get.
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
    return answer;
  }
  std::vector<std::u16string> names;
  bool answer = true;
};

struct ShownMessage {
  std::u16string title;
  std::u16string text;
  MessageIcon icon;
};

struct RecordingView : UnseenView {
  void ShowModal() override { ++shows; }
  void Hide() override { ++hides; }
  void MessageBox(std::u16string_view title, std::u16string_view text, MessageIcon icon) override {
    messages.push_back({std::u16string{title}, std::u16string{text}, icon});
  }
  int shows = 0;
  int hides = 0;
  std::vector<ShownMessage> messages;
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
  // The view of the last dialog made; null before.
  RecordingView* View() const { return view_; }
  // Stores a setting for `email` the way the plug-in would have.
  void Store(std::u16string_view email, std::u16string_view key, std::u16string_view text);
  std::optional<std::u16string> Stored(std::u16string_view email, std::u16string_view key) const;

  VirtualTime time;
  MemoryRegistry registry;
  TestRegional regional;
  RecordingHost host;

 private:
  RecordingView* view_ = nullptr;
};

}  // namespace velmora::testing
