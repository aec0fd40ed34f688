// A year of refreshes on the development host's core: the counter on, virtual time, the
// settings in a registry file. Every refresh must come at its due instant, the heap must
// hold no more after a year than after the first day, and each day's last nickname must be
// the one the template gives for that instant.
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

#include "posix/fixed_regional.h"
#include "posix/registry_file.h"
#include "script/core_host.h"
#include "script/output.h"
#include "virtual/virtual_time.h"

// Every block this program takes from the heap is counted while it is live.
namespace {
std::atomic<std::int64_t> gLiveBlocks{0};
std::atomic<std::int64_t> gLiveBytes{0};

void* Take(std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc{};
  gLiveBlocks.fetch_add(1, std::memory_order_relaxed);
  gLiveBytes.fetch_add(static_cast<std::int64_t>(malloc_usable_size(block)), std::memory_order_relaxed);
  return block;
}

void Give(void* block) noexcept {
  if (block == nullptr) return;
  gLiveBlocks.fetch_sub(1, std::memory_order_relaxed);
  gLiveBytes.fetch_sub(static_cast<std::int64_t>(malloc_usable_size(block)), std::memory_order_relaxed);
  std::free(block);
}
}  // namespace

void* operator new(std::size_t size) { return Take(size); }
void* operator new[](std::size_t size) { return Take(size); }
void operator delete(void* block) noexcept { Give(block); }
void operator delete[](void* block) noexcept { Give(block); }
void operator delete(void* block, std::size_t) noexcept { Give(block); }
void operator delete[](void* block, std::size_t) noexcept { Give(block); }

namespace velmora {
namespace {

using namespace std::chrono;

constexpr std::u16string_view kEmail = u"soak@example.com";
constexpr std::u16string_view kTemplate = u"%y year[ys] %d day[ds] %hh:%mm:%ss left";
constexpr std::int64_t kDayMs = 86'400'000;
constexpr int kDays = 365;

// The year runs over 2028-02-29; the target lies beyond its end, so the count stays ahead.
constexpr year_month_day kStartDay{year{2027} / 6 / 1};
constexpr year_month_day kTargetDay{year{2028} / 9 / 30};
constexpr seconds kTargetTime = hours{18} + minutes{30} + seconds{15};

// The nickname the template gives at `now`, worked out from the calendar alone.
std::u16string ExpectedNick(sys_seconds now) {
  std::int64_t left = (sys_days{kTargetDay} + kTargetTime - now).count();
  const std::int64_t years = left / 31'536'000;
  left %= 31'536'000;
  const std::int64_t days = left / 86'400;
  left %= 86'400;
  char text[96];
  std::snprintf(text, sizeof text, "%lld year%s %lld day%s %02lld:%02lld:%02lld left",
                static_cast<long long>(years), years == 1 ? "" : "s", static_cast<long long>(days),
                days == 1 ? "" : "s", static_cast<long long>(left / 3600),
                static_cast<long long>(left % 3600 / 60), static_cast<long long>(left % 60));
  return {text, text + std::char_traits<char>::length(text)};
}

std::string Utf8(std::u16string_view text) { return {text.begin(), text.end()}; }  // ASCII here

// Stands in for the host: checks each refresh's instant as it comes and keeps only the
// last nickname, so a year of refreshes takes no memory of its own.
class RefreshWatch : public script::ScriptOutput {
 public:
  RefreshWatch(const VirtualTime& time, std::int64_t periodMs)
      : ScriptOutput([this](std::string_view line) {
          if (otherLines_++ == 0) firstOtherLine_ = line;
        }),
        time_(time),
        periodMs_(periodMs) {
    last_.reserve(kMaxNick);
  }

  void SetName(std::u16string_view text) override {
    const std::int64_t at = time_.ElapsedMilliseconds();
    if (at != nextDueMs_ && misses_++ == 0) {
      firstMiss_ = "refresh " + std::to_string(refreshes_) + " came at " + std::to_string(at) + " ms, due at " +
                   std::to_string(nextDueMs_) + " ms";
    }
    if (text.size() > kMaxNick) ++tooLong_;
    ++refreshes_;
    nextDueMs_ = at + periodMs_;
    last_.assign(text);
  }

  std::int64_t refreshes_ = 0;
  std::int64_t misses_ = 0;
  std::string firstMiss_;
  std::int64_t tooLong_ = 0;
  std::int64_t otherLines_ = 0;
  std::string firstOtherLine_;
  std::u16string last_;

 private:
  static constexpr std::size_t kMaxNick = 129;
  const VirtualTime& time_;
  std::int64_t periodMs_;
  std::int64_t nextDueMs_ = 0;  // the load publishes at once
};

class ScratchStore {
 public:
  ScratchStore()
      : dir_(std::filesystem::temp_directory_path() /
             ("velmora-soak-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()))) {
    std::filesystem::create_directories(dir_);
  }
  ~ScratchStore() { std::filesystem::remove_all(dir_); }
  std::filesystem::path File() const { return dir_ / "registry.reg"; }

 private:
  std::filesystem::path dir_;
};

void RunYear(std::u16string_view delayCode, std::int64_t delaySeconds) {
  const std::int64_t periodMs = delaySeconds * 1000;
  ScratchStore store;
  RegistryFile registry{store.File()};
  FixedRegional regional;
  VirtualTime time{DateTime::FromLocal(local_days{kStartDay})};
  RefreshWatch watch{time, periodMs};
  script::CoreHost host{watch, {&time, &regional, &registry, [&time] { return time.MakeTimer(); }, &time}};

  const auto save = [&](std::u16string_view key, std::u16string_view text) {
    host.SetStored(kEmail, key, RegistryValue{kRegSz, std::u16string{text}});
  };
  save(u"Enable", u"True");
  save(u"Nick", kTemplate);
  save(u"Type", u"2");
  save(u"ToDate", u"2028-09-30");
  save(u"ToTime", u"18:30:15");
  save(u"Interval", delayCode);
  std::vector<script::Argument> initialize{std::int32_t{1}, std::u16string{kEmail}, std::monostate{}};
  host.Call(*script::FindOperation("Initialize"), initialize);
  ASSERT_EQ(watch.refreshes_, 1) << "the load with the counter on publishes at once";

  std::int64_t baselineBlocks = 0;
  std::int64_t baselineBytes = 0;
  int wrongDays = 0;
  for (int day = 1; day <= kDays; ++day) {
    host.Advance(kDayMs);
    const sys_seconds now = sys_days{kStartDay} + days{day};
    if (watch.last_ != ExpectedNick(now) && wrongDays++ == 0) {
      ADD_FAILURE() << "day " << day << ": expected \"" << Utf8(ExpectedNick(now)) << "\", got \""
                    << Utf8(watch.last_) << "\"";
    }
    if (day == 1) {
      baselineBlocks = gLiveBlocks.load();
      baselineBytes = gLiveBytes.load();
    } else if (gLiveBlocks.load() > baselineBlocks || gLiveBytes.load() > baselineBytes) {
      FAIL() << "day " << day << ": " << gLiveBlocks.load() << " live blocks of " << gLiveBytes.load()
             << " bytes, after the first day " << baselineBlocks << " blocks of " << baselineBytes << " bytes";
    }
  }

  const std::int64_t yearMs = kDays * kDayMs;
  EXPECT_EQ(watch.refreshes_, 1 + yearMs / periodMs) << "refreshes in a year of " << delaySeconds << "-second delays";
  EXPECT_EQ(watch.misses_, 0) << watch.firstMiss_;
  EXPECT_EQ(watch.tooLong_, 0) << "nicknames longer than 129 units";
  EXPECT_EQ(wrongDays, 0) << "days whose last nickname was not the template's";
  EXPECT_EQ(watch.otherLines_, 0) << "the host printed " << watch.firstOtherLine_;
  EXPECT_EQ(watch.last_, ExpectedNick(sys_days{kStartDay} + days{kDays}))
      << "last nickname \"" << Utf8(watch.last_) << "\"";
}

TEST(Soak, YearOfSixSecondRefreshesKeepsTimeAndMemory) { RunYear(u"6s", 6); }

// Whole 30-second ticks and a shorter rest tick in every period.
TEST(Soak, YearOfFortyFiveSecondRefreshesKeepsTimeAndMemory) { RunYear(u"45", 45); }

}  // namespace
}  // namespace velmora
