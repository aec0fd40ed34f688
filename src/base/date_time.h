#pragma once
// A date, a time of day, or both, in whole seconds of local wall-clock time (no zone).
// Mirrors the automation date: the "zero" date 1899-12-30 stands for "no date", so a
// value on that day is a bare time of day, and a value at midnight is a bare date.
#include <chrono>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

class DateTime {
 public:
  // 1899-12-30 00:00:00, the automation date 0.
  constexpr DateTime() = default;

  static DateTime FromLocal(std::chrono::local_seconds instant);
  static DateTime FromDate(std::chrono::year_month_day date);
  static DateTime FromTimeOfDay(int hours, int minutes, int seconds);
  // The calendar date of `date` at the time of day of `time`.
  static DateTime Combine(DateTime date, DateTime time);

  [[nodiscard]] std::chrono::local_seconds Local() const { return instant_; }
  [[nodiscard]] std::chrono::year_month_day Ymd() const;
  [[nodiscard]] int Hour() const;
  [[nodiscard]] int Minute() const;
  [[nodiscard]] int Second() const;

  [[nodiscard]] DateTime DatePart() const;
  [[nodiscard]] DateTime TimePart() const;
  [[nodiscard]] bool HasDate() const;
  [[nodiscard]] bool HasTime() const;

  [[nodiscard]] DateTime PlusSeconds(std::int64_t seconds) const;

  friend constexpr auto operator<=>(const DateTime&, const DateTime&) = default;

 private:
  explicit constexpr DateTime(std::chrono::local_seconds instant) : instant_(instant) {}
  static constexpr std::chrono::local_seconds ZeroDate() {
    return std::chrono::local_days{std::chrono::year{1899} / 12 / 30};
  }

  std::chrono::local_seconds instant_{ZeroDate()};
};

// `to` minus `from` in whole seconds; positive when `to` is later.
std::int64_t SecondsBetween(DateTime from, DateTime to);

// The fixed text forms YYYY-MM-DD and HH:MM:SS (24-hour): the script language's, the
// development host's regional forms and the time field's.
std::u16string IsoDateText(DateTime value);  // the calendar date
std::u16string IsoTimeText(DateTime value);  // the time of day
// Exactly those forms, with a real calendar date and a time of day below 24:00:00;
// nullopt otherwise.
std::optional<DateTime> ParseIsoDate(std::u16string_view text);
std::optional<DateTime> ParseIsoTime(std::u16string_view text);

}  // namespace velmora
