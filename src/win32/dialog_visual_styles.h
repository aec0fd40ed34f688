#pragma once
// The common controls version 6 (the platform's visual styles) for the configuration
// window. A DLL cannot count on its host's manifest, so it makes an activation context from
// its own manifest resource and activates it around whatever creates controls or message
// boxes; a window keeps the version of the classes it was created with.
#include <windows.h>

namespace velmora::win32 {

class VisualStyles {
 public:
  // Without the context (no manifest resource, an old system) the controls keep the
  // classic look and everything else works the same.
  VisualStyles();
  ~VisualStyles();
  VisualStyles(const VisualStyles&) = delete;
  VisualStyles& operator=(const VisualStyles&) = delete;

  class Scope {
   public:
    explicit Scope(const VisualStyles& styles);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    ULONG_PTR cookie_ = 0;
    bool active_ = false;
  };

 private:
  HANDLE context_ = INVALID_HANDLE_VALUE;
};

}  // namespace velmora::win32
