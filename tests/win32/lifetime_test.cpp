// When the host may unload Velmora.dll: never while an object, a lock, a window or a
// running timer of it lives.
#include <gtest/gtest.h>

#include "support.h"

namespace velmora::wintest {
namespace {

using CanUnloadNow = HRESULT(WINAPI*)();
using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

TEST(Lifetime, ObjectsAndLocksKeepTheDllLoaded) {
  const auto canUnload = Export<CanUnloadNow>("DllCanUnloadNow");
  ComPtr<IClassFactory> factory;
  ASSERT_HRESULT_SUCCEEDED(
      Export<GetClassObject>("DllGetClassObject")(CLSID_clsVelmora, IID_IClassFactory, &factory));
  EXPECT_EQ(canUnload(), S_OK);

  ComPtr<IDispatch> object;
  ASSERT_HRESULT_SUCCEEDED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&object)));
  EXPECT_EQ(canUnload(), S_FALSE);
  object.Reset();
  EXPECT_EQ(canUnload(), S_OK);

  factory->LockServer(TRUE);
  EXPECT_EQ(canUnload(), S_FALSE);
  factory->LockServer(FALSE);
  factory->LockServer(FALSE);  // one unlock too many must not free what others hold
  EXPECT_EQ(canUnload(), S_OK);
}

TEST(Lifetime, ARunningCounterTimerKeepsTheDllLoadedAfterTheLastObjectIsGone) {
  const MachineRegistration registration;
  const auto canUnload = Export<CanUnloadNow>("DllCanUnloadNow");
  ScratchUser user(L"lifetime");
  const std::wstring enabled = L"True";
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, user.SettingsKey().c_str(), L"Enable", REG_SZ, enabled.c_str(),
                              static_cast<DWORD>((enabled.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  InFreshApartment([&] {
    const auto call = [](const wchar_t* operation, Arguments& arguments) {
      const ComPtr<IDispatch> plugin = CreateByProgId();
      ASSERT_NE(plugin, nullptr);
      Outcome outcome;
      CallByName(*plugin.Get(), operation, arguments, outcome);
      ASSERT_HRESULT_SUCCEEDED(outcome.hr);
    };
    Arguments initialize;
    initialize.I4(1).Text(user.Email().c_str()).Nothing();
    call(L"Initialize", initialize);
    EXPECT_EQ(canUnload(), S_FALSE) << "the stored counter is on: its timer runs";

    win32::UniqueBstr result{::SysAllocString(L"")};
    Arguments disable;
    disable.Text(L"/xcntdisable").Text(L"").Nothing().TextRef(result.addressof());
    call(L"ParseCommand", disable);
    EXPECT_EQ(canUnload(), S_OK) << "nothing of the DLL runs any more";
  });
}

}  // namespace
}  // namespace velmora::wintest
