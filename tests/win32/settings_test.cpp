// The settings in the real registry: the key path, the value texts, other writers' data.
#include <gtest/gtest.h>

#include "base/text.h"
#include "registry_win32.h"
#include "support.h"

namespace velmora::wintest {
namespace {

// Each address's own key and the exact texts of a command are the registry_texts script's.
constexpr char kNarrowNick[] = "Caf\xe9 %s";  // e-acute in the Western code page

TEST(Settings, TextWrittenThroughTheNarrowFunctionsLoadsUnchanged) {
  ScratchUser user(L"narrow");
  {
    win32::UniqueHkey key;
    const std::wstring wideKey = user.SettingsKey(L"VelmoraTest.dll");
    const std::string narrowKey(wideKey.begin(), wideKey.end());  // the address is ASCII
    ASSERT_EQ(::RegCreateKeyA(HKEY_CURRENT_USER, narrowKey.c_str(), key.put()), ERROR_SUCCESS);
    ::RegSetValueExA(key.get(), "Nick", 0, REG_SZ, reinterpret_cast<const BYTE*>(kNarrowNick), sizeof kNarrowNick);
  }
  // What the narrow writer meant, in the system code page.
  wchar_t expected[32] = {};
  ::MultiByteToWideChar(CP_ACP, 0, kNarrowNick, -1, expected, 32);
  InFreshApartment([&] {
    const ComPtr<IDispatch> plugin = CreateWithSeam();
    ASSERT_NE(plugin, nullptr);
    Initialize(*plugin.Get(), user.Email());
    VelmoraSeamState state{};
    ASSERT_HRESULT_SUCCEEDED(Seam<VelmoraSeamGetStateFn>("VelmoraSeamGetState")(&state));
    EXPECT_STREQ(state.sNick, expected);
    ::SysFreeString(state.sNick);
    ::SysFreeString(state.sDelayCode);
  });
}

TEST(Settings, TheKeyIsNamedAfterTheDllsOwnFileName) {
  const std::wstring copy = VelmoraDllPath().substr(0, VelmoraDllPath().size() - 4) + L"Renamed.dll";
  ASSERT_TRUE(::CopyFileW(VelmoraDllPath().c_str(), copy.c_str(), FALSE));
  const HMODULE renamed = ::LoadLibraryW(copy.c_str());
  ASSERT_NE(renamed, nullptr);
  using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
  const auto getClassObject = ExportOf<GetClassObject>(renamed, "DllGetClassObject");
  ScratchUser user(L"renamed");
  InFreshApartment([&] {
    ComPtr<IClassFactory> factory;
    ASSERT_HRESULT_SUCCEEDED(getClassObject(CLSID_clsVelmora, IID_IClassFactory, &factory));
    ComPtr<IDispatch> plugin;
    ASSERT_HRESULT_SUCCEEDED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&plugin)));
    Initialize(*plugin.Get(), user.Email());
    Command(*plugin.Get(), L"/xcntsetnick", L"renamed %s");
  });
  EXPECT_EQ(KeyDefault(HKEY_CURRENT_USER, user.SettingsKey(L"VelmoraRenamed.dll"), L"Nick"),
            L"renamed %s");
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, user.SettingsKey()));
}

TEST(RegistryPort, ValuesReadBackAsOtherWritersLeftThem) {
  ScratchUser user(L"port");
  const std::wstring key = user.SettingsKey();
  const std::u16string path(key.begin(), key.end());
  win32::WindowsRegistry registry;
  registry.SetValue(RegistryRoot::kCurrentUser, path, u"Nick", {kRegSz, u"\u00e9\u2713\U0001F600"});
  const wchar_t withTail[] = L"head\0tail";  // a NUL and what another tool wrote after it
  ::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Tail", REG_SZ, withTail, sizeof withTail);
  const DWORD number = 42;
  ::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Type", REG_DWORD, &number, sizeof number);

  struct Case {
    const char16_t* name;
    std::optional<RegistryValue> expected;
  };
  const Case cases[] = {
      {u"Nick", RegistryValue{kRegSz, u"\u00e9\u2713\U0001F600"}},
      {u"Tail", RegistryValue{kRegSz, std::u16string(u"head\0tail", 9)}},
      {u"Type", RegistryValue{kRegDword, u"42"}},
      {u"Missing", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto value = registry.QueryValue(RegistryRoot::kCurrentUser, path, c.name);
    ASSERT_EQ(value.has_value(), c.expected.has_value()) << "for " << ToUtf8(c.name);
    if (!value) continue;
    EXPECT_EQ(value->type, c.expected->type) << "for " << ToUtf8(c.name);
    EXPECT_EQ(ToUtf8(value->data), ToUtf8(c.expected->data)) << "for " << ToUtf8(c.name);
  }
  EXPECT_FALSE(registry.QueryValue(RegistryRoot::kCurrentUser, path + u"\\Absent", u"Nick").has_value());
}

}  // namespace
}  // namespace velmora::wintest
