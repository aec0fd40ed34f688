#include "common_controls.h"

#include <string>
#include <utility>

#include "module.h"

namespace velmora::win32 {

namespace {
// ISOLATIONAWARE_MANIFEST_RESOURCE_ID, as velmora.rc stores it.
constexpr WORD kManifestResource = 2;

template <typename Function>
Function Procedure(HMODULE library, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}
}  // namespace

CommonControls::CommonControls() {
  const std::wstring path = ModulePath();
  ACTCTXW request{};
  request.cbSize = sizeof request;
  request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.lpSource = path.c_str();
  request.hModule = ThisModule();
  request.lpResourceName = MAKEINTRESOURCEW(kManifestResource);
  context_ = ::CreateActCtxW(&request);
}

CommonControls::~CommonControls() {
  if (library_) ::FreeLibrary(library_);
  if (context_ != INVALID_HANDLE_VALUE) ::ReleaseActCtx(context_);
}

bool CommonControls::Load() {
  if (library_) return true;
  const Scope scope(*this);
  library_ = ::LoadLibraryW(L"comctl32.dll");
  if (!library_) return false;
  const auto initialize = Procedure<decltype(&::InitCommonControlsEx)>(library_, "InitCommonControlsEx");
  setSubclass = Procedure<decltype(setSubclass)>(library_, "SetWindowSubclass");
  removeSubclass = Procedure<decltype(removeSubclass)>(library_, "RemoveWindowSubclass");
  defSubclassProc = Procedure<decltype(defSubclassProc)>(library_, "DefSubclassProc");
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_STANDARD_CLASSES | ICC_DATE_CLASSES | ICC_UPDOWN_CLASS};
  if (initialize && setSubclass && removeSubclass && defSubclassProc && initialize(&classes)) return true;
  ::FreeLibrary(std::exchange(library_, nullptr));
  return false;
}

CommonControls::Scope::Scope(const CommonControls& controls) {
  if (controls.context_ != INVALID_HANDLE_VALUE) active_ = ::ActivateActCtx(controls.context_, &cookie_) != FALSE;
}

CommonControls::Scope::~Scope() {
  if (active_) ::DeactivateActCtx(0, cookie_);
}

}  // namespace velmora::win32
