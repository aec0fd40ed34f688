#pragma once
#include "ports/regional.h"

namespace velmora::win32 {

// The user's regional settings through the automation runtime's own conversions, the ones
// every automation client uses for a date's default text and for reading it back.
class UserRegional : public Regional {
 public:
  [[nodiscard]] std::u16string DateTimeToText(DateTime value) const override;
  [[nodiscard]] std::optional<DateTime> TextToDateTime(std::u16string_view text) const override;
  [[nodiscard]] char16_t DecimalSeparator() const override;
};

}  // namespace velmora::win32
