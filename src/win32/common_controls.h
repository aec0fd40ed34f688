#pragma once
// The common controls version 6 (the platform's visual styles) for the configuration window,
// loaded only when the window is first made: most hosts never open it, and comctl32 is most
// of what the DLL would otherwise add to them. A DLL cannot count on its host's manifest, so
// it makes an activation context from its own manifest resource; comctl32 is loaded, and the
// window made, inside it, which binds version 6 (a window keeps the classes it was made with).
#include <windows.h>
#include <commctrl.h>

namespace velmora::win32 {

class CommonControls {
 public:
  // Without the context (no manifest resource, an old system) the controls keep the
  // classic look and everything else works the same.
  CommonControls();
  ~CommonControls();
  CommonControls(const CommonControls&) = delete;
  CommonControls& operator=(const CommonControls&) = delete;

  // Loads comctl32 in the context and registers the window's classes; false when it cannot.
  bool Load();

  class Scope {
   public:
    explicit Scope(const CommonControls& controls);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    ULONG_PTR cookie_ = 0;
    bool active_ = false;
  };

  // Taken from the loaded library; only after Load() answered true.
  decltype(&::SetWindowSubclass) setSubclass = nullptr;
  decltype(&::RemoveWindowSubclass) removeSubclass = nullptr;
  decltype(&::DefSubclassProc) defSubclassProc = nullptr;

 private:
  HANDLE context_ = INVALID_HANDLE_VALUE;
  HMODULE library_ = nullptr;
};

}  // namespace velmora::win32
