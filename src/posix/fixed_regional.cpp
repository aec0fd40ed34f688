#include "posix/fixed_regional.h"

#include "base/text.h"

namespace velmora {

namespace {
std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && text.front() == u' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
  return text;
}
}  // namespace

std::u16string FixedRegional::DateTimeToText(DateTime value) const {
  if (!value.HasDate()) return IsoTimeText(value);
  if (!value.HasTime()) return IsoDateText(value);
  return IsoDateText(value) + u" " + IsoTimeText(value);
}

std::optional<DateTime> FixedRegional::TextToDateTime(std::u16string_view text) const {
  text = Trim(text);
  if (auto date = ParseIsoDate(text)) return date;
  if (auto time = ParseIsoTime(text)) return time;
  const auto blank = text.find(u' ');
  if (blank == std::u16string_view::npos) return std::nullopt;
  auto date = ParseIsoDate(text.substr(0, blank));
  auto time = ParseIsoTime(Trim(text.substr(blank + 1)));
  if (!date || !time) return std::nullopt;
  return DateTime::Combine(*date, *time);
}

}  // namespace velmora
