#include "registration.h"

#include <oleauto.h>
#include <olectl.h>

#include <string>

#include "base/text.h"
#include "module.h"
#include "raii.h"
#include "text_win32.h"
#include "velmora_h.h"
#include <wrl/client.h>

// In oleaut32 since Windows Vista; mingw-w64's headers do not declare them.
extern "C" {
HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* path, OLECHAR* helpDirectory);
HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libraryId, WORD major, WORD minor, LCID lcid, SYSKIND sysKind);
}

namespace velmora::win32 {

namespace {

using Microsoft::WRL::ComPtr;

HKEY RootOf(RegistrationScope scope) {
  return scope == RegistrationScope::kUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40] = {};
  ::StringFromGUID2(guid, text, static_cast<int>(std::size(text)));
  return text;
}

std::wstring ClassKey() { return L"Software\\Classes\\CLSID\\" + GuidText(CLSID_clsVelmora); }
std::wstring ProgIdKey() { return std::wstring{L"Software\\Classes\\"} + kProgId; }

LSTATUS SetText(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& text) {
  return ::RegSetKeyValueW(root, key.c_str(), name, REG_SZ, text.c_str(),
                           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

LSTATUS DeleteTree(HKEY root, const std::wstring& key) {
  const LSTATUS status = ::RegDeleteTreeW(root, key.c_str());
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

HRESULT RegisterClassKeys(HKEY root, const std::wstring& modulePath) {
  const std::wstring classKey = ClassKey();
  const std::wstring progIdKey = ProgIdKey();
  const std::wstring clsid = GuidText(CLSID_clsVelmora);
  LSTATUS status = SetText(root, classKey, nullptr, kProgId);
  if (status == ERROR_SUCCESS) status = SetText(root, classKey + L"\\InprocServer32", nullptr, modulePath);
  if (status == ERROR_SUCCESS)
    status = SetText(root, classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
  if (status == ERROR_SUCCESS) status = SetText(root, classKey + L"\\ProgID", nullptr, kProgId);
  if (status == ERROR_SUCCESS) status = SetText(root, classKey + L"\\TypeLib", nullptr, GuidText(LIBID_Velmora));
  if (status == ERROR_SUCCESS) status = SetText(root, classKey + L"\\VERSION", nullptr, L"1.0");
  if (status == ERROR_SUCCESS) status = SetText(root, progIdKey, nullptr, kProgId);
  if (status == ERROR_SUCCESS) status = SetText(root, progIdKey + L"\\CLSID", nullptr, clsid);
  return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(status));
}

// The machine-wide type library functions write through HKEY_CLASSES_ROOT, where a user's
// own classes hide the machine's: it is mapped to the machine's classes alone meanwhile, as
// the per-user functions map it to the user's.
class MachineClassesRoot {
 public:
  explicit MachineClassesRoot(RegistrationScope scope) {
    if (scope != RegistrationScope::kMachine ||
        ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes", 0, KEY_ALL_ACCESS, classes_.put()) !=
            ERROR_SUCCESS) {
      return;
    }
    status_ = ::RegOverridePredefKey(HKEY_CLASSES_ROOT, classes_.get());
  }
  ~MachineClassesRoot() {
    if (classes_ && status_ == ERROR_SUCCESS) ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
  }
  MachineClassesRoot(const MachineClassesRoot&) = delete;
  MachineClassesRoot& operator=(const MachineClassesRoot&) = delete;

 private:
  UniqueHkey classes_;
  LSTATUS status_ = ERROR_INVALID_HANDLE;
};

HRESULT RegisterTypeLibrary(RegistrationScope scope, ITypeLib* library, const std::wstring& modulePath) {
  std::wstring path = modulePath;  // the registration functions take non-const strings
  if (scope == RegistrationScope::kUser) return ::RegisterTypeLibForUser(library, path.data(), nullptr);
  const MachineClassesRoot machine(scope);
  return ::RegisterTypeLib(library, path.data(), nullptr);
}

// The keys a registration writes, copied aside before it starts and put back if it fails,
// so a failed registration leaves an earlier one of the same scope as it was.
class RegistrationBackup {
 public:
  // An existing key that cannot be copied aside leaves `Status()` failed: nothing may be
  // written then, as nothing could be put back.
  explicit RegistrationBackup(HKEY root) : root_(root) {
    DeleteTree(root_, kBackupKey);
    for (std::size_t i = 0; i < kTreeCount && status_ == ERROR_SUCCESS; ++i) {
      status_ = Copy(Tree(i), Saved(i));
      saved_[i] = status_ == ERROR_SUCCESS;
      if (status_ == ERROR_FILE_NOT_FOUND) status_ = ERROR_SUCCESS;
    }
  }
  [[nodiscard]] LSTATUS Status() const { return status_; }
  ~RegistrationBackup() { DeleteTree(root_, kBackupKey); }
  RegistrationBackup(const RegistrationBackup&) = delete;
  RegistrationBackup& operator=(const RegistrationBackup&) = delete;

  void Restore() const {
    for (std::size_t i = 0; i < kTreeCount; ++i) {
      DeleteTree(root_, Tree(i));
      if (saved_[i]) Copy(Saved(i), Tree(i));
    }
  }

 private:
  static constexpr wchar_t kBackupKey[] = L"Software\\Classes\\Velmora.clsVelmora.RegistrationBackup";
  // The class, the ProgID, the type library and the interface.
  static constexpr std::size_t kTreeCount = 4;

  static std::wstring Tree(std::size_t i) {
    switch (i) {
      case 0: return ClassKey();
      case 1: return ProgIdKey();
      case 2: return L"Software\\Classes\\TypeLib\\" + GuidText(LIBID_Velmora);
      default: return L"Software\\Classes\\Interface\\" + GuidText(IID__clsVelmora);
    }
  }
  static std::wstring Saved(std::size_t i) { return std::wstring{kBackupKey} + L"\\" + ToWide(DecimalText(static_cast<std::int64_t>(i))); }

  // ERROR_FILE_NOT_FOUND when there was nothing to copy.
  LSTATUS Copy(const std::wstring& from, const std::wstring& to) const {
    UniqueHkey source;
    LSTATUS status = ::RegOpenKeyExW(root_, from.c_str(), 0, KEY_READ, source.put());
    if (status != ERROR_SUCCESS) return status;
    UniqueHkey target;
    status = ::RegCreateKeyExW(root_, to.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, target.put(), nullptr);
    if (status != ERROR_SUCCESS) return status;
    return ::RegCopyTreeW(source.get(), nullptr, target.get());
  }

  HKEY root_;
  LSTATUS status_ = ERROR_SUCCESS;
  bool saved_[kTreeCount] = {};
};

#ifdef _WIN64
constexpr SYSKIND kSysKind = SYS_WIN64;
constexpr wchar_t kSysKindKey[] = L"win64";
// The registry view of the other architecture's registration.
constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
#else
constexpr SYSKIND kSysKind = SYS_WIN32;
constexpr wchar_t kSysKindKey[] = L"win32";
// Ignored on 32-bit Windows, where there is only this view.
constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
#endif

bool KeyExists(HKEY root, const std::wstring& key, REGSAM view = 0) {
  UniqueHkey opened;
  return ::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, opened.put()) == ERROR_SUCCESS;
}

HRESULT UnregisterTypeLibrary(RegistrationScope scope) {
  // Only this architecture's entry: the type library key is shared by both registry views,
  // and the unregistering functions leave the other architecture's entry and the parent keys
  // it needs. Not registered (any more) is what unregistering wants; those functions report
  // it as a failure of their own. Looked up in the merged classes, as they look it up.
  const std::wstring entry = L"TypeLib\\" + GuidText(LIBID_Velmora) + L"\\1.0\\0\\" + kSysKindKey;
  const MachineClassesRoot machine(scope);
  if (!KeyExists(HKEY_CLASSES_ROOT, entry)) return S_OK;
  return scope == RegistrationScope::kUser
             ? ::UnRegisterTypeLibForUser(LIBID_Velmora, 1, 0, LOCALE_NEUTRAL, kSysKind)
             : ::UnRegisterTypeLib(LIBID_Velmora, 1, 0, LOCALE_NEUTRAL, kSysKind);
}

}  // namespace

HRESULT Register(RegistrationScope scope) {
  const std::wstring modulePath = ModulePath();
  if (modulePath.empty()) return SELFREG_E_CLASS;
  // A damaged file fails here, before anything is written.
  ComPtr<ITypeLib> library;
  if (FAILED(::LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, &library))) return SELFREG_E_TYPELIB;
  const RegistrationBackup backup(RootOf(scope));
  if (backup.Status() != ERROR_SUCCESS) return HRESULT_FROM_WIN32(static_cast<DWORD>(backup.Status()));
  if (FAILED(RegisterClassKeys(RootOf(scope), modulePath))) {
    backup.Restore();
    return SELFREG_E_CLASS;
  }
  if (FAILED(RegisterTypeLibrary(scope, library.Get(), modulePath))) {
    backup.Restore();
    return SELFREG_E_TYPELIB;
  }
  return S_OK;
}

HRESULT Unregister(RegistrationScope scope) {
  const HKEY root = RootOf(scope);
  const LSTATUS classStatus = DeleteTree(root, ClassKey());
  // The ProgID key is shared by both registry views: while the other architecture's class is
  // still registered, its hosts find it by this name.
  const LSTATUS progIdStatus = KeyExists(root, ClassKey(), kOtherView) ? ERROR_SUCCESS : DeleteTree(root, ProgIdKey());
  const HRESULT typeLibResult = UnregisterTypeLibrary(scope);
  if (classStatus != ERROR_SUCCESS || progIdStatus != ERROR_SUCCESS) return SELFREG_E_CLASS;
  return FAILED(typeLibResult) ? SELFREG_E_TYPELIB : S_OK;
}

}  // namespace velmora::win32
