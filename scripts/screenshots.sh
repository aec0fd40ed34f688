#!/usr/bin/env bash
# Screenshots of the configuration window for the README, from the current code: builds
# Velmora.dll and velmora-testhost.exe for x64 (build/win64), runs scripts/screenshots.vms
# under Wine and Xvfb in a fresh Wine prefix, and saves the pictures it marks as
# docs/screenshots/{dialog,calendar,help}.png. Installs what is missing (Debian/Ubuntu).
# Wine's own fonts are copied into the prefix, so the window is drawn in Tahoma with the real
# caption glyphs. To look at the window under other settings:
#   VELMORA_SCREENSHOT_DPI=192                  the screen's DPI (LogPixels)
#   VELMORA_SCREENSHOT_FONT="Tahoma:-13"        the message font, face and height (16-px lines)
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=${VELMORA_JOBS:-2}
source scripts/lib/packages.sh
source scripts/lib/wine.sh
source scripts/lib/imagemagick.sh
OUT=$ROOT/docs/screenshots

# --- Inside Xvfb ----------------------------------------------------------------------------
if [[ "${1:-}" == "--under-xvfb" ]]; then
  find_wine
  WORK=$ROOT/build/screenshots
  rm -rf "$WORK"
  mkdir -p "$WORK/shots" "$OUT"
  make_wine_prefix "$WORK/prefix"
  install_wine_fonts
  if [[ -n ${VELMORA_SCREENSHOT_DPI:-} ]]; then
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$VELMORA_SCREENSHOT_DPI" /f >/dev/null
  fi
  if [[ -n ${VELMORA_SCREENSHOT_FONT:-} ]]; then
    # The message font as a LOGFONTW: face and height (negative: the characters' height).
    wine reg add 'HKCU\Control Panel\Desktop\WindowMetrics' /v MessageFont /t REG_BINARY /f /d "$(
      python3 -c 'import struct, sys
face, height = sys.argv[1].rsplit(":", 1)
print(struct.pack("<5i8B64s", int(height), 0, 0, 0, 400, 0, 0, 0, 1, 0, 0, 0, 0,
                  face.encode("utf-16-le")).hex())' "$VELMORA_SCREENSHOT_FONT")" >/dev/null
  fi
  "$WINESERVER" -w
  (cd "$ROOT/scripts" &&
    wine "$ROOT/build/win64/bin/velmora-testhost.exe" --script screenshots.vms \
      --shots "$(wine winepath -w "$WORK/shots" | tr -d '\r')" >"$WORK/screenshots.out")
  for name in dialog calendar help; do
    imagemagick convert "$WORK/shots/$name.bmp" "$OUT/$name.png"
    echo "docs/screenshots/$name.png"
  done
  remove_wine_prefix
  exit
fi

# --- Outside: install, build, then the above under Xvfb ------------------------------------
require_packages g++-mingw-w64-x86-64-win32 mingw-w64-tools libwine-dev wine64 fonts-wine xvfb xauth \
  imagemagick cmake ninja-build

mkdir -p build
cmake --preset win64 >build/win64-configure.log
cmake --build build/win64 -j"$JOBS" --target Velmora velmora-testhost
xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" --under-xvfb
