#include "regional_win32.h"

#include <windows.h>
#include <oleauto.h>

#include "automation_date.h"
#include "raii.h"
#include "text_win32.h"

namespace velmora::win32 {

std::u16string UserRegional::DateTimeToText(DateTime value) const {
  // The default form: a bare date gives the short date, a bare time of day the long time.
  UniqueBstr text;
  if (FAILED(::VarBstrFromDate(ToAutomationDate(value), LOCALE_USER_DEFAULT, 0, text.put()))) return {};
  return FromBstr(text.get());
}

std::optional<DateTime> UserRegional::TextToDateTime(std::u16string_view text) const {
  std::wstring wide = ToWide(text);
  DATE date = 0;
  if (FAILED(::VarDateFromStr(wide.data(), LOCALE_USER_DEFAULT, 0, &date))) return std::nullopt;
  return FromAutomationDate(date);
}

char16_t UserRegional::DecimalSeparator() const {
  wchar_t separator[8] = {};
  if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, static_cast<int>(std::size(separator))) < 2)
    return u'.';
  return static_cast<char16_t>(separator[0]);
}

}  // namespace velmora::win32
