#pragma once
// What the fuzz targets share: turning fuzz bytes into UTF-16 text, and a check that stops
// the run with the values that broke an invariant, so the saved input comes with a reason.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/text.h"

namespace velmora::fuzz {

// Raw UTF-16LE units, lone surrogates and NULs included; an odd last byte is dropped.
inline std::u16string UnitsFromBytes(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    out += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                 (static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  return out;
}

// True when every surrogate of `text` is half of a pair.
inline bool IsWellFormed(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      ++i;
    } else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i])) {
      return false;
    }
  }
  return true;
}

// A text for a failure message: printable ASCII as it is, everything else as \uXXXX.
inline std::string Shown(std::u16string_view text) {
  std::string out = "\"";
  for (const char16_t unit : text) {
    if (unit >= 0x20 && unit < 0x7F && unit != u'\\' && unit != u'"') {
      out += static_cast<char>(unit);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(unit));
      out += escaped;
    }
  }
  return out + "\"";
}
inline std::string Shown(std::string_view bytes) { return Shown(FromUtf8(bytes)); }

[[noreturn]] inline void Fail(const char* file, int line, const char* condition, const std::string& detail) {
  std::fprintf(stderr, "%s:%d: invariant failed: %s\n  %s\n", file, line, condition, detail.c_str());
  std::abort();
}

}  // namespace velmora::fuzz

// Stops the run when `condition` is false; `detail` (a std::string expression) is built
// only then.
#define FUZZ_CHECK(condition, detail)                                          \
  do {                                                                         \
    if (!(condition)) ::velmora::fuzz::Fail(__FILE__, __LINE__, #condition, (detail)); \
  } while (false)
