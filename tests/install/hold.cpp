// Holds a file open as a virus scanner does, for the install tests that make the setup's
// renames fail.
//
//   velmora-install-hold.exe FILE READY-FILE RELEASE-FILE
//
// Waits (at most two minutes) for FILE to appear and opens it for reading, sharing reading and
// writing but not deleting, so nothing can rename or delete it. Then it creates READY-FILE and
// waits (at most two minutes) until RELEASE-FILE exists before it lets go.
// Exit status: 0 when it held the file, 1 when the file never appeared.
#include <windows.h>

#include <cstdio>

namespace {

bool Exists(const wchar_t* path) { return ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::printf("usage: velmora-install-hold FILE READY-FILE RELEASE-FILE\n");
    return 1;
  }
  // Polled often: the setup renames the file away again within a second.
  HANDLE held = INVALID_HANDLE_VALUE;
  for (int i = 0; i < 120000 && held == INVALID_HANDLE_VALUE; ++i) {
    held = ::CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) ::Sleep(1);
  }
  if (held == INVALID_HANDLE_VALUE) {
    std::printf("%ls never appeared\n", argv[1]);
    return 1;
  }
  HANDLE ready = ::CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (ready != INVALID_HANDLE_VALUE) ::CloseHandle(ready);
  for (int i = 0; i < 1200 && !Exists(argv[3]); ++i) ::Sleep(100);
  ::CloseHandle(held);
  return 0;
}
