// Presses a button of another program's window, for the install tests that drive the setup's
// pages and message boxes as a user would.
//
//   velmora-install-press.exe TEXT BUTTON-ID
//
// Waits (at most a minute) for a visible top-level window that shows TEXT in its title or in
// one of its visible controls, prints what that window shows, and presses its button BUTTON-ID
// (none for 0). Exit status: 0 when done, 1 when no such window or button appeared.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

struct Search {
  const wchar_t* text;
  HWND found = nullptr;
  std::wstring shown;  // every visible text of the window, one per line
};

std::wstring TextOf(HWND window) {
  wchar_t text[1024] = {};
  ::GetWindowTextW(window, text, static_cast<int>(std::size(text)));
  return text;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM context) {
  auto& shown = *reinterpret_cast<std::wstring*>(context);
  if (::IsWindowVisible(child)) {
    const std::wstring text = TextOf(child);
    if (!text.empty()) shown += text + L"\n";
  }
  return TRUE;
}

BOOL CALLBACK CheckTopLevel(HWND window, LPARAM context) {
  auto& search = *reinterpret_cast<Search*>(context);
  if (!::IsWindowVisible(window)) return TRUE;
  std::wstring shown = TextOf(window) + L"\n";
  ::EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&shown));
  if (shown.find(search.text) == std::wstring::npos) return TRUE;
  search.found = window;
  search.shown = shown;
  return FALSE;
}

// The button may sit on a page inside the window: the first visible descendant with that ID.
struct ButtonSearch {
  int id;
  HWND found = nullptr;
};

BOOL CALLBACK FindButton(HWND child, LPARAM context) {
  auto& search = *reinterpret_cast<ButtonSearch*>(context);
  if (::GetDlgCtrlID(child) != search.id || !::IsWindowVisible(child)) return TRUE;
  search.found = child;
  return FALSE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::printf("usage: velmora-install-press TEXT BUTTON-ID\n");
    return 1;
  }
  Search search{argv[1], nullptr, {}};
  for (int i = 0; i < 600 && !search.found; ++i) {
    ::EnumWindows(CheckTopLevel, reinterpret_cast<LPARAM>(&search));
    if (!search.found) ::Sleep(100);
  }
  if (!search.found) {
    std::printf("no window shows \"%ls\"\n", argv[1]);
    return 1;
  }
  std::printf("%ls", search.shown.c_str());
  if (std::wcscmp(argv[2], L"0") == 0) return 0;
  ButtonSearch button{static_cast<int>(std::wcstol(argv[2], nullptr, 10)), nullptr};
  ::EnumChildWindows(search.found, FindButton, reinterpret_cast<LPARAM>(&button));
  if (!button.found) {
    std::printf("the window has no button %d\n", button.id);
    return 1;
  }
  // As a click does: the button's parent hears of it through WM_COMMAND.
  ::PostMessageW(::GetParent(button.found), WM_COMMAND, MAKEWPARAM(button.id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button.found));
  return 0;
}
