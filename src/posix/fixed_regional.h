#pragma once
// The development host's regional forms, the same on every machine: dates YYYY-MM-DD,
// times HH:MM:SS on a 24-hour clock, and "." before a fraction.
#include "ports/regional.h"

namespace velmora {

class FixedRegional : public Regional {
 public:
  [[nodiscard]] std::u16string DateTimeToText(DateTime value) const override;
  [[nodiscard]] std::optional<DateTime> TextToDateTime(std::u16string_view text) const override;
  [[nodiscard]] char16_t DecimalSeparator() const override { return u'.'; }
};

}  // namespace velmora
