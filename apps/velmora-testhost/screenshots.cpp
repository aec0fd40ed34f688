#include "screenshots.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

#include "base/text.h"
#include "dialog_driver.h"
#include "text_win32.h"

namespace velmora::testhost {

Screenshots::Screenshots(const std::string& script, std::wstring folder) : folder_(std::move(folder)) {
  std::ifstream in(script, std::ios::binary);
  std::string line;
  for (std::size_t number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    for (const auto& [prefix, box] : {std::pair{"# shot ", false}, std::pair{"# shot-box ", true}}) {
      if (line.starts_with(prefix)) {
        markers_.insert({number, {box, win32::ToWide(FromUtf8(line.substr(std::string(prefix).size())))}});
      }
    }
  }
}

void Screenshots::Before(std::size_t lineNumber) {
  const auto end = lineNumber == 0 ? markers_.end() : markers_.lower_bound(lineNumber);
  for (auto marker = markers_.begin(); marker != end; marker = markers_.erase(marker)) {
    if (marker->second.box) {
      armedBox_ = marker->second.name;
    } else if (const HWND dialog = DialogDriver::FindWindow()) {
      Save(dialog, marker->second.name);
    }
  }
}

namespace {
// The one host's screenshots, for the timer that takes a box.
thread_local Screenshots* taking = nullptr;
}  // namespace

bool Screenshots::TakeBox(HWND box) {
  if (armedBox_.empty()) return false;
  // The box is not painted yet when it is activated: take it once its loop has drawn it.
  taking = this;
  box_ = box;
  ::SetTimer(nullptr, 0, 300, &TakeArmedBox);
  return true;
}

void CALLBACK Screenshots::TakeArmedBox(HWND, UINT, UINT_PTR timer, DWORD) {
  ::KillTimer(nullptr, timer);
  if (!taking) return;
  taking->Save(taking->box_, taking->armedBox_);
  taking->armedBox_.clear();
  ::PostMessageW(taking->box_, WM_COMMAND, IDOK, 0);
}

bool Screenshots::Save(HWND window, const std::wstring& name) const {
  ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
  RECT frame{};
  ::GetWindowRect(window, &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const HDC source = ::GetWindowDC(window);
  const HDC memory = ::CreateCompatibleDC(source);
  const HBITMAP bitmap = ::CreateCompatibleBitmap(source, width, height);
  const HGDIOBJ before = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
  ::SelectObject(memory, before);

  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = -height;  // top row first
  info.biPlanes = 1;
  // Three bytes a pixel, rows padded to four bytes: no alpha for a reader to misread.
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  std::vector<char> pixels(stride * static_cast<std::size_t>(height));
  const int rows = ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                               reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(window, source);
  if (rows != height) return false;

  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
  std::ofstream out(std::filesystem::path(folder_) / (name + L".bmp"), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
  return static_cast<bool>(out);
}

}  // namespace velmora::testhost
