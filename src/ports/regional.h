#pragma once
// The user's regional date, time and number forms. The writer and the reader of a stored
// date must be one matching pair, so both directions live behind one port.
#include <optional>
#include <string>
#include <string_view>

#include "base/date_time.h"

namespace velmora {

class Regional {
 public:
  virtual ~Regional() = default;
  // The platform's default text: a bare date as the short date, a bare time of day as the
  // long time, a value with both as "date time".
  [[nodiscard]] virtual std::u16string DateTimeToText(DateTime value) const = 0;
  // The platform's text-to-date reading; nullopt when the text is not a date or time.
  [[nodiscard]] virtual std::optional<DateTime> TextToDateTime(std::u16string_view text) const = 0;
  [[nodiscard]] virtual char16_t DecimalSeparator() const = 0;
};

}  // namespace velmora
