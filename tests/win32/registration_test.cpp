// Registration, the class factory exports and the version record of Velmora.dll.
#include "support.h"

#include <gtest/gtest.h>
#include <oleauto.h>
#include <olectl.h>

#include <functional>
#include <string>
#include <utility>

namespace velmora::wintest {
namespace {

using Install = HRESULT(WINAPI*)(BOOL, PCWSTR);
using Server = HRESULT(WINAPI*)();

const std::wstring kClassKey = L"Software\\Classes\\CLSID\\{51E745C5-6F40-4C3C-902A-F76577C980BB}";
const std::wstring kProgIdKey = L"Software\\Classes\\Velmora.clsVelmora";
const std::wstring kInterfaceKey = L"Interface\\{533187F7-2616-4B52-80F7-B448360BC12A}";
// The type library key is shared by both registry views; each architecture owns one entry.
const std::wstring kTypeLibKey = L"TypeLib\\{1B22B473-A6B4-4AED-AEBE-9A407B47EF5D}";
#ifdef _WIN64
const std::wstring kOwnTypeLibEntry = kTypeLibKey + L"\\1.0\\0\\win64";
const std::wstring kOtherTypeLibEntry = kTypeLibKey + L"\\1.0\\0\\win32";
#else
const std::wstring kOwnTypeLibEntry = kTypeLibKey + L"\\1.0\\0\\win32";
const std::wstring kOtherTypeLibEntry = kTypeLibKey + L"\\1.0\\0\\win64";
#endif

void ExpectRegisteredUnder(HKEY root) {
  EXPECT_EQ(KeyDefault(root, kClassKey), L"Velmora.clsVelmora");
  EXPECT_EQ(KeyDefault(root, kClassKey + L"\\InprocServer32"), VelmoraDllPath());
  EXPECT_EQ(KeyDefault(root, kClassKey + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
  EXPECT_EQ(KeyDefault(root, kClassKey + L"\\ProgID"), L"Velmora.clsVelmora");
  EXPECT_EQ(KeyDefault(root, kClassKey + L"\\TypeLib"), L"{1B22B473-A6B4-4AED-AEBE-9A407B47EF5D}");
  EXPECT_EQ(KeyDefault(root, kProgIdKey + L"\\CLSID"), L"{51E745C5-6F40-4C3C-902A-F76577C980BB}");
  // Merged classes, where the platform's per-user type library functions write (Wine's
  // write machine-wide).
  EXPECT_EQ(KeyDefault(HKEY_CLASSES_ROOT, kOwnTypeLibEntry), VelmoraDllPath());
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kInterfaceKey)) << "the dual interface is not registered";
}

// Nothing of this architecture's registration; the other architecture's entries are not
// looked at.
void ExpectNothingLeftUnder(HKEY root) {
  EXPECT_FALSE(KeyExists(root, kClassKey));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kOwnTypeLibEntry));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kInterfaceKey));
}

// The other architecture's registration, planted as its DLL writes it: its class in its own
// registry view, its entry under the shared type library key.
class OtherArchitecture {
 public:
  static constexpr wchar_t kPath[] = L"C:\\Other\\Velmora.dll";
  OtherArchitecture() {
    Write(kClassKey + L"\\InprocServer32", kOtherView);
    Write(L"Software\\Classes\\" + kOtherTypeLibEntry, 0);
  }
  ~OtherArchitecture() {
    RemoveClass();
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\" + kTypeLibKey).c_str());
  }
  OtherArchitecture(const OtherArchitecture&) = delete;
  OtherArchitecture& operator=(const OtherArchitecture&) = delete;

  void RemoveClass() const {
    win32::UniqueHkey classes;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID", 0, KEY_ALL_ACCESS | kOtherView,
                        classes.put()) == ERROR_SUCCESS) {
      ::RegDeleteTreeW(classes.get(), L"{51E745C5-6F40-4C3C-902A-F76577C980BB}");
    }
  }

 private:
  static void Write(const std::wstring& key, REGSAM view) {
    win32::UniqueHkey created;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                                created.put(), nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(created.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(kPath), sizeof kPath);
  }
};

// Machine-wide, where Wine keeps the two views apart as Windows does (it shares the current
// user's classes between them): a round trip, and one beside the other architecture's.
TEST(Registration, UnregisteringKeepsTheSharedKeysTheOtherArchitectureStillNeeds) {
  const OtherArchitecture other;
  ASSERT_EQ(KeyDefault(HKEY_LOCAL_MACHINE, kClassKey + L"\\InprocServer32", nullptr, kOtherView),
            OtherArchitecture::kPath);
  ASSERT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kClassKey)) << "this prefix does not keep the two views apart";

  ASSERT_HRESULT_SUCCEEDED(Export<Server>("DllRegisterServer")());
  ExpectRegisteredUnder(HKEY_LOCAL_MACHINE);
  ASSERT_HRESULT_SUCCEEDED(Export<Server>("DllUnregisterServer")());
  ExpectNothingLeftUnder(HKEY_LOCAL_MACHINE);
  EXPECT_EQ(KeyDefault(HKEY_LOCAL_MACHINE, kProgIdKey + L"\\CLSID"), L"{51E745C5-6F40-4C3C-902A-F76577C980BB}")
      << "the other architecture's hosts lost the ProgID";
  EXPECT_EQ(KeyDefault(HKEY_LOCAL_MACHINE, kClassKey + L"\\InprocServer32", nullptr, kOtherView),
            OtherArchitecture::kPath);
  EXPECT_EQ(KeyDefault(HKEY_CLASSES_ROOT, kOtherTypeLibEntry), OtherArchitecture::kPath);

  // The last registration takes the ProgID with it; the other type library entry stays.
  other.RemoveClass();
  ASSERT_HRESULT_SUCCEEDED(Export<Server>("DllRegisterServer")());
  ASSERT_HRESULT_SUCCEEDED(Export<Server>("DllUnregisterServer")());
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kProgIdKey));
  EXPECT_EQ(KeyDefault(HKEY_CLASSES_ROOT, kOtherTypeLibEntry), OtherArchitecture::kPath);
  EXPECT_HRESULT_SUCCEEDED(Export<Server>("DllUnregisterServer")()) << "unregistering twice";
}

// The other architecture's type library entry outlives a per-user round trip.
TEST(Registration, PerUserInstallWritesTheCurrentUsersClassesAndUninstallLeavesNoKey) {
  const OtherArchitecture other;
  other.RemoveClass();
  const auto install = Export<Install>("DllInstall");
  ASSERT_HRESULT_SUCCEEDED(install(TRUE, L"user"));
  ExpectRegisteredUnder(HKEY_CURRENT_USER);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kClassKey)) << "a per-user install wrote machine-wide";
  ASSERT_HRESULT_SUCCEEDED(install(FALSE, L"user"));
  ExpectNothingLeftUnder(HKEY_CURRENT_USER);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProgIdKey));
  EXPECT_EQ(KeyDefault(HKEY_CLASSES_ROOT, kOtherTypeLibEntry), OtherArchitecture::kPath);
}

// A copy of the shipped DLL beside it, loaded while it lives; a damaged one's embedded type
// library is broken, as a broken download or disk leaves it.
class DllCopy {
 public:
  DllCopy(const wchar_t* suffix, bool damaged)
      : path_(VelmoraDllPath().substr(0, VelmoraDllPath().size() - 4) + suffix + L".dll") {
    EXPECT_TRUE(::CopyFileW(VelmoraDllPath().c_str(), path_.c_str(), FALSE));
    if (damaged) Damage();
    module = ::LoadLibraryW(path_.c_str());
  }
  ~DllCopy() {
    ::FreeLibrary(module);
    ::DeleteFileW(path_.c_str());
  }
  DllCopy(const DllCopy&) = delete;
  DllCopy& operator=(const DllCopy&) = delete;
  [[nodiscard]] HRESULT Register(PCWSTR scope) const {
    return ExportOf<Install>(module, "DllInstall")(TRUE, scope);
  }
  HMODULE module = nullptr;

 private:
  void Damage() const {
    const win32::UniqueAny<HANDLE, &::CloseHandle> file{::CreateFileW(
        path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)};
    std::string bytes(::GetFileSize(file.get(), nullptr), '\0');
    DWORD done = 0;
    ::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
    const std::size_t magic = bytes.find("MSFT");
    ASSERT_NE(magic, std::string::npos) << "no type library in the DLL";
    bytes.replace(magic, 4, "XXXX");
    ::SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN);
    ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
  }
  std::wstring path_;
};

LSTATUS WINAPI RefuseToCopy(HKEY, LPCWSTR, HKEY) { return ERROR_ACCESS_DENIED; }

// The class keys' third value refused: the first two are written by then.
LSTATUS WINAPI RefuseThreadingModel(HKEY key, LPCWSTR subKey, LPCWSTR name, DWORD type, LPCVOID data, DWORD size) {
  if (name && ::lstrcmpW(name, L"ThreadingModel") == 0) return ERROR_ACCESS_DENIED;
  return ::RegSetKeyValueW(key, subKey, name, type, data, size);
}

// A failed registration leaves the earlier one of its scope, of another file, as it was and
// answers the error: a damaged file fails as it is read, before anything is written; class
// keys refused halfway, and a type library key that takes no lasting subkey after the class
// keys were written, fail with what was written put back; an earlier registration that cannot be copied aside is left alone, as nothing
// could put it back.
TEST(Registration, AFailedRegistrationLeavesTheEarlierOneOfItsScopeInPlace) {
  const DllCopy damaged(L"Damaged", true);
  const DllCopy other(L"Other", false);
  ASSERT_NE(damaged.module, nullptr);
  ASSERT_NE(other.module, nullptr);
  const std::wstring typeLibKey = L"Software\\Classes\\" + kTypeLibKey;
  const auto withVolatileTypeLibKeys = [&](PCWSTR scope) {
    for (const HKEY typeLibRoot : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      ::RegDeleteTreeW(typeLibRoot, typeLibKey.c_str());
      // Its parent lasting, or every later type library key there would have to be volatile.
      win32::UniqueHkey key;
      ::RegCreateKeyExW(typeLibRoot, L"Software\\Classes\\TypeLib", 0, nullptr, 0, KEY_READ,
                        nullptr, key.put(), nullptr);
      EXPECT_EQ(::RegCreateKeyExW(typeLibRoot, typeLibKey.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
                ERROR_SUCCESS);
    }
    const HRESULT hr = other.Register(scope);
    for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      ::RegDeleteTreeW(root, typeLibKey.c_str());
    }
    return hr;
  };
  const auto refusingAClassKey = [&](PCWSTR scope) {
    const ImportPatch refuse(other.module, "advapi32.dll", "RegSetKeyValueW",
                             reinterpret_cast<const void*>(&RefuseThreadingModel));
    EXPECT_TRUE(refuse.Patched());
    return other.Register(scope);
  };
  const auto refusingTheBackup = [&](PCWSTR scope) {
    const ImportPatch refuse(other.module, "advapi32.dll", "RegCopyTreeW",
                             reinterpret_cast<const void*>(&RefuseToCopy));
    EXPECT_TRUE(refuse.Patched());
    return other.Register(scope);
  };
  struct Case {
    const char* what;
    std::function<HRESULT(PCWSTR)> attempt;
    HRESULT answer;
    bool typeLibStays;  // the volatile keys took the earlier one's
  };
  const Case cases[] = {
      {"damaged", [&](PCWSTR scope) { return damaged.Register(scope); }, SELFREG_E_TYPELIB, true},
      {"class key refused", refusingAClassKey, SELFREG_E_CLASS, true},
      {"volatile type library key", withVolatileTypeLibKeys, SELFREG_E_TYPELIB, false},
      {"backup refused", refusingTheBackup, HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), true},
  };
  for (const auto& [root, scope] :
       {std::pair{HKEY_CURRENT_USER, L"user"}, std::pair{HKEY_LOCAL_MACHINE, L""}}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (*scope ? " per user" : " machine-wide"));
      ASSERT_HRESULT_SUCCEEDED(Export<Install>("DllInstall")(TRUE, scope));
      EXPECT_EQ(c.attempt(scope), c.answer);
      EXPECT_EQ(KeyDefault(root, kClassKey + L"\\InprocServer32"), VelmoraDllPath());
      EXPECT_EQ(KeyDefault(root, kProgIdKey + L"\\CLSID"),
                L"{51E745C5-6F40-4C3C-902A-F76577C980BB}");
      EXPECT_EQ(KeyDefault(HKEY_CLASSES_ROOT, kOwnTypeLibEntry),
                c.typeLibStays ? VelmoraDllPath() : L"<missing>");
      EXPECT_HRESULT_SUCCEEDED(Export<Install>("DllInstall")(FALSE, scope));
    }
  }
}

// An administrator with a per-user install: Windows' merged HKEY_CLASSES_ROOT writes into the
// user's type library key where one exists (acted out by mapping it to the user's classes
// around the call; Wine's is the machine's alone). Machine-wide registration writes and
// removes the machine's key and leaves the user's as it was.
TEST(Registration, MachineWideTypeLibraryKeysLeaveAPerUserTypeLibraryAlone) {
  // The same path under either root.
  const std::wstring entry = L"Software\\Classes\\" + kOwnTypeLibEntry;
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, entry.c_str(), nullptr, REG_SZ, L"per-user", sizeof L"per-user"),
            ERROR_SUCCESS);
  win32::UniqueHkey userClasses;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, KEY_ALL_ACCESS, userClasses.put()),
            ERROR_SUCCESS);
  const auto merged = [&](const char* function) {
    ::RegOverridePredefKey(HKEY_CLASSES_ROOT, userClasses.get());
    const HRESULT hr = Export<Server>(function)();
    ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    return hr;
  };
  ASSERT_HRESULT_SUCCEEDED(merged("DllRegisterServer"));
  EXPECT_EQ(KeyDefault(HKEY_LOCAL_MACHINE, entry), VelmoraDllPath());
  EXPECT_HRESULT_SUCCEEDED(merged("DllUnregisterServer"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, entry));
  EXPECT_EQ(KeyDefault(HKEY_CURRENT_USER, entry), L"per-user");
  ::RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Classes\\" + kTypeLibKey).c_str());
  ::RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Classes\\" + kInterfaceKey).c_str());
}

TEST(Registration, InstallRefusesAnUnknownScope) {
  EXPECT_EQ(Export<Install>("DllInstall")(TRUE, L"everyone"), E_INVALIDARG);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClassKey));
}

TEST(ClassFactory, OnlyClsVelmoraIsAvailable) {
  using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
  const auto getClassObject = Export<GetClassObject>("DllGetClassObject");
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(getClassObject(IID_IDispatch, IID_IClassFactory, &factory), CLASS_E_CLASSNOTAVAILABLE);
  ASSERT_HRESULT_SUCCEEDED(getClassObject(CLSID_clsVelmora, IID_IClassFactory, &factory));
  ComPtr<IUnknown> object;
  ComPtr<IUnknown> outer;
  factory.As(&outer);
  EXPECT_EQ(factory->CreateInstance(outer.Get(), IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
}

TEST(VersionRecord, CarriesTheProductsIdentity) {
  const std::wstring path = VelmoraDllPath();
  DWORD ignored = 0;
  std::vector<BYTE> data(::GetFileVersionInfoSizeW(path.c_str(), &ignored));
  ASSERT_FALSE(data.empty());
  ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(data.size()), data.data()));
  const auto text = [&](const wchar_t* name) {
    wchar_t* value = nullptr;
    UINT length = 0;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!::VerQueryValueW(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &length)) return std::wstring(L"<missing>");
    return std::wstring(value);
  };
  EXPECT_EQ(text(L"FileVersion"), L"1.00.0015");
  EXPECT_EQ(text(L"ProductVersion"), L"1.00.0015");
  EXPECT_EQ(text(L"ProductName"), L"Velmora");
  EXPECT_EQ(text(L"InternalName"), L"Velmora");
  EXPECT_EQ(text(L"OriginalFilename"), L"Velmora.dll");
  EXPECT_EQ(text(L"Comments"), L"A plugin that can add an counter to your nickname");
}

}  // namespace
}  // namespace velmora::wintest
