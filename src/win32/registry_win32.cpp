#include "registry_win32.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "base/text.h"
#include "raii.h"
#include "text_win32.h"

namespace velmora::win32 {

namespace {

HKEY RootKey(RegistryRoot) { return HKEY_CURRENT_USER; }

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

}  // namespace

void WindowsRegistry::SetValue(RegistryRoot root, std::u16string_view keyPath, std::u16string_view name,
                               const RegistryValue& value) {
  UniqueHkey key;
  if (::RegCreateKeyExW(RootKey(root), ToWide(keyPath).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
    return;
  const std::wstring valueName = ToWide(name);
  if (IsStringType(value.type)) {
    // The whole text and one terminating NUL, as the string types are stored.
    const std::wstring data = ToWide(value.data);
    ::RegSetValueExW(key.get(), valueName.c_str(), 0, value.type, reinterpret_cast<const BYTE*>(data.c_str()),
                     static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  } else if (value.type == REG_DWORD) {
    const DWORD number = std::wcstoul(ToWide(value.data).c_str(), nullptr, 10);
    ::RegSetValueExW(key.get(), valueName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                     sizeof number);
  } else {
    ::RegSetValueExW(key.get(), valueName.c_str(), 0, value.type, reinterpret_cast<const BYTE*>(value.data.data()),
                     static_cast<DWORD>(value.data.size() * sizeof(char16_t)));
  }
}

std::optional<RegistryValue> WindowsRegistry::QueryValue(RegistryRoot root, std::u16string_view keyPath,
                                                         std::u16string_view name) const {
  UniqueHkey key;
  if (::RegOpenKeyExW(RootKey(root), ToWide(keyPath).c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
    return std::nullopt;
  const std::wstring valueName = ToWide(name);
  DWORD type = 0;
  DWORD size = 0;
  LSTATUS status = ::RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type, nullptr, &size);
  std::vector<BYTE> data;
  // Another writer may grow the value between the two queries.
  while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    data.resize(size);
    status = ::RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type, data.data(), &size);
    if (status == ERROR_SUCCESS) break;
  }
  if (status != ERROR_SUCCESS) return std::nullopt;
  data.resize(size);

  RegistryValue value;
  value.type = type;
  if (IsStringType(type)) {
    // The text as written: SetValue adds one terminating NUL, so one comes off here;
    // NULs inside the text, and anything after them, stay in the data.
    const auto* units = reinterpret_cast<const wchar_t*>(data.data());
    std::size_t length = data.size() / sizeof(wchar_t);
    if (length > 0 && units[length - 1] == L'\0') --length;
    value.data = FromWide({units, length});
  } else if (type == REG_DWORD && data.size() == sizeof(DWORD)) {
    DWORD number = 0;
    std::memcpy(&number, data.data(), sizeof number);
    value.data = DecimalText(number);
  }
  return value;
}

}  // namespace velmora::win32
