#pragma once
// Screenshots of the configuration window for the README (scripts/screenshots.sh). A host
// script marks them in comments, which other hosts skip:
//
//   # shot NAME        the configuration window as it stands before the next command
//   # shot-box NAME    the next message box, while it is shown, before it is answered
//
// Each becomes NAME.bmp in the folder given to --shots.
#include <windows.h>

#include <cstddef>
#include <map>
#include <string>

namespace velmora::testhost {

class Screenshots {
 public:
  // Reads the markers of `script` (a file; none for standard input) for pictures in `folder`.
  Screenshots(const std::string& script, std::wstring folder);

  // Takes the window shots marked before script line `lineNumber` (0: all that are left) and
  // arms the box shots among them.
  void Before(std::size_t lineNumber);
  // A message box is shown: true when it is taken now, and the caller answers it later.
  bool TakeBox(HWND box);

 private:
  struct Marker {
    bool box;
    std::wstring name;
  };
  bool Save(HWND window, const std::wstring& name) const;
  static void CALLBACK TakeArmedBox(HWND, UINT, UINT_PTR timer, DWORD);

  std::wstring folder_;
  std::multimap<std::size_t, Marker> markers_;
  std::wstring armedBox_;
  HWND box_ = nullptr;
};

}  // namespace velmora::testhost
