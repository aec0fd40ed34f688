// Registration, the class factory exports and the version record of Velmora.dll.
#include "support.h"

#include <gtest/gtest.h>
#include <oleauto.h>
#include <olectl.h>

#include <string>
#include <utility>

namespace velmora::wintest {
namespace {

using Install = HRESULT(WINAPI*)(BOOL, PCWSTR);
using Server = HRESULT(WINAPI*)();

const std::wstring kClassKey = L"Software\\Classes\\CLSID\\{51E745C5-6F40-4C3C-902A-F76577C980BB}";
const std::wstring kProgIdKey = L"Software\\Classes\\Velmora.clsVelmora";
const std::wstring kInterfaceKey = L"Interface\\{533187F7-2616-4B52-80F7-B448360BC12A}";

bool TypeLibraryRegistered() {
  BSTR path = nullptr;
  const HRESULT hr = ::QueryPathOfRegTypeLib(LIBID_Velmora, 1, 0, LOCALE_NEUTRAL, &path);
  const bool found = SUCCEEDED(hr) && path && ::lstrcmpiW(path, VelmoraDllPath().c_str()) == 0;
  ::SysFreeString(path);
  return found;
}

void ExpectRegisteredUnder(HKEY root) {
  EXPECT_EQ(KeyDefault(root, kClassKey), L"Velmora.clsVelmora");
  EXPECT_EQ(KeyDefault(root, kClassKey + L"\\InprocServer32"), VelmoraDllPath());
  EXPECT_EQ(KeyDefault(root, kClassKey + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
  EXPECT_EQ(KeyDefault(root, kClassKey + L"\\ProgID"), L"Velmora.clsVelmora");
  EXPECT_EQ(KeyDefault(root, kClassKey + L"\\TypeLib"), L"{1B22B473-A6B4-4AED-AEBE-9A407B47EF5D}");
  EXPECT_EQ(KeyDefault(root, kProgIdKey + L"\\CLSID"), L"{51E745C5-6F40-4C3C-902A-F76577C980BB}");
  EXPECT_TRUE(TypeLibraryRegistered());
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kInterfaceKey)) << "the dual interface is not registered";
}

void ExpectNothingLeftUnder(HKEY root) {
  EXPECT_FALSE(KeyExists(root, kClassKey));
  EXPECT_FALSE(KeyExists(root, kProgIdKey));
  EXPECT_FALSE(TypeLibraryRegistered());
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kInterfaceKey));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\{1B22B473-A6B4-4AED-AEBE-9A407B47EF5D}"));
}

TEST(Registration, PerUserInstallWritesTheCurrentUsersClassesAndUninstallLeavesNoKey) {
  const auto install = Export<Install>("DllInstall");
  ASSERT_NE(install, nullptr);
  ASSERT_HRESULT_SUCCEEDED(install(TRUE, L"user"));
  ExpectRegisteredUnder(HKEY_CURRENT_USER);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kClassKey)) << "a per-user install wrote machine-wide";
  ASSERT_HRESULT_SUCCEEDED(install(FALSE, L"user"));
  ExpectNothingLeftUnder(HKEY_CURRENT_USER);
}

TEST(Registration, MachineRegistrationRoundTripsAndUnregisteringTwiceIsHarmless) {
  ASSERT_HRESULT_SUCCEEDED(Export<Server>("DllRegisterServer")());
  ExpectRegisteredUnder(HKEY_LOCAL_MACHINE);
  ASSERT_HRESULT_SUCCEEDED(Export<Server>("DllUnregisterServer")());
  ExpectNothingLeftUnder(HKEY_LOCAL_MACHINE);
  EXPECT_HRESULT_SUCCEEDED(Export<Server>("DllUnregisterServer")());
}

// A copy whose embedded type library is damaged, as a broken download or disk leaves it.
std::wstring DamagedCopy() {
  const std::wstring path = VelmoraDllPath().substr(0, VelmoraDllPath().size() - 4) + L"Damaged.dll";
  EXPECT_TRUE(::CopyFileW(VelmoraDllPath().c_str(), path.c_str(), FALSE));
  const win32::UniqueAny<HANDLE, &::CloseHandle> file{
      ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)};
  std::string bytes(::GetFileSize(file.get(), nullptr), '\0');
  DWORD done = 0;
  ::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
  const std::size_t magic = bytes.find("MSFT");
  EXPECT_NE(magic, std::string::npos) << "no type library in the DLL";
  if (magic == std::string::npos) return path;
  bytes.replace(magic, 4, "XXXX");
  ::SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN);
  ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
  return path;
}

// A damaged file fails as it is read, before anything is written.
TEST(Registration, ADamagedCopyFailsAndLeavesTheEarlierRegistrationOfItsScopeInPlace) {
  const std::wstring damaged = DamagedCopy();
  const HMODULE copy = ::LoadLibraryW(damaged.c_str());
  ASSERT_NE(copy, nullptr);
  const auto install = ExportOf<Install>(copy, "DllInstall");
  for (const auto& [root, scope] : {std::pair{HKEY_CURRENT_USER, L"user"}, std::pair{HKEY_LOCAL_MACHINE, L""}}) {
    ASSERT_HRESULT_SUCCEEDED(Export<Install>("DllInstall")(TRUE, scope));
    EXPECT_EQ(install(TRUE, scope), SELFREG_E_TYPELIB) << "scope \"" << scope << "\"";
    ExpectRegisteredUnder(root);
    EXPECT_HRESULT_SUCCEEDED(Export<Install>("DllInstall")(FALSE, scope));
  }
  ::FreeLibrary(copy);
  ::DeleteFileW(damaged.c_str());
}

// A registration that fails after it wrote the class keys (the type library's key refuses
// it) puts back what the scope held before: the earlier registration, of another file.
TEST(Registration, AFailureAfterTheClassKeysWereWrittenRestoresTheEarlierRegistration) {
  const std::wstring other = VelmoraDllPath().substr(0, VelmoraDllPath().size() - 4) + L"Other.dll";
  ASSERT_TRUE(::CopyFileW(VelmoraDllPath().c_str(), other.c_str(), FALSE));
  const HMODULE copy = ::LoadLibraryW(other.c_str());
  ASSERT_NE(copy, nullptr);
  const auto install = ExportOf<Install>(copy, "DllInstall");
  // A volatile key takes no lasting subkey, so registering the type library fails there.
  const std::wstring typeLibKey = L"Software\\Classes\\TypeLib\\{1B22B473-A6B4-4AED-AEBE-9A407B47EF5D}";
  for (const auto& [root, scope] : {std::pair{HKEY_CURRENT_USER, L"user"}, std::pair{HKEY_LOCAL_MACHINE, L""}}) {
    ASSERT_HRESULT_SUCCEEDED(Export<Install>("DllInstall")(TRUE, scope));
    for (const HKEY typeLibRoot : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      ::RegDeleteTreeW(typeLibRoot, typeLibKey.c_str());
      HKEY key = nullptr;
      ASSERT_EQ(::RegCreateKeyExW(typeLibRoot, typeLibKey.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                ERROR_SUCCESS);
      ::RegCloseKey(key);
    }
    EXPECT_EQ(install(TRUE, scope), SELFREG_E_TYPELIB) << "scope \"" << scope << "\"";
    EXPECT_EQ(KeyDefault(root, kClassKey + L"\\InprocServer32"), VelmoraDllPath()) << "scope \"" << scope << "\"";
    EXPECT_EQ(KeyDefault(root, kProgIdKey + L"\\CLSID"), L"{51E745C5-6F40-4C3C-902A-F76577C980BB}");
    for (const HKEY typeLibRoot : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) ::RegDeleteTreeW(typeLibRoot, typeLibKey.c_str());
    EXPECT_HRESULT_SUCCEEDED(Export<Install>("DllInstall")(FALSE, scope));
  }
  ::FreeLibrary(copy);
  ::DeleteFileW(other.c_str());
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
