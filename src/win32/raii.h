#pragma once
// One-line owners for the handles the Windows port holds, in the spirit of unique_any:
// each closes its handle with the platform's own function when it goes out of scope.
#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace velmora::win32 {

template <typename T, auto Close>
class UniqueAny {
 public:
  UniqueAny() = default;
  explicit UniqueAny(T value) : value_(value) {}
  UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    reset(other.release());
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;
  ~UniqueAny() { reset(); }

  [[nodiscard]] T get() const { return value_; }
  // For out-parameters of functions that create the handle.
  T* put() {
    reset();
    return &value_;
  }
  // For in/out parameters: the callee may free the handle and store another in its place.
  T* addressof() { return &value_; }
  T release() { return std::exchange(value_, T{}); }
  void reset(T value = T{}) {
    if (value_ != T{}) Close(value_);
    value_ = value;
  }
  explicit operator bool() const { return value_ != T{}; }

 private:
  T value_{};
};

using UniqueHkey = UniqueAny<HKEY, &::RegCloseKey>;
using UniqueHwnd = UniqueAny<HWND, &::DestroyWindow>;
using UniqueBstr = UniqueAny<BSTR, &::SysFreeString>;

class UniqueVariant : public VARIANT {
 public:
  UniqueVariant() { ::VariantInit(this); }
  ~UniqueVariant() { ::VariantClear(this); }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;
};

}  // namespace velmora::win32
