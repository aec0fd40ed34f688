#include "dialog_visual_styles.h"

#include <string>

#include "module.h"

namespace velmora::win32 {

namespace {
// ISOLATIONAWARE_MANIFEST_RESOURCE_ID, as velmora.rc stores it.
constexpr WORD kManifestResource = 2;
}  // namespace

VisualStyles::VisualStyles() {
  const std::wstring path = ModulePath();
  ACTCTXW request{};
  request.cbSize = sizeof request;
  request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.lpSource = path.c_str();
  request.hModule = ThisModule();
  request.lpResourceName = MAKEINTRESOURCEW(kManifestResource);
  context_ = ::CreateActCtxW(&request);
}

VisualStyles::~VisualStyles() {
  if (context_ != INVALID_HANDLE_VALUE) ::ReleaseActCtx(context_);
}

VisualStyles::Scope::Scope(const VisualStyles& styles) {
  if (styles.context_ != INVALID_HANDLE_VALUE) active_ = ::ActivateActCtx(styles.context_, &cookie_) != FALSE;
}

VisualStyles::Scope::~Scope() {
  if (active_) ::DeactivateActCtx(0, cookie_);
}

}  // namespace velmora::win32
