#!/usr/bin/env bash
# Screenshots of the configuration window for the README, from the current code: builds
# Velmora.dll and velmora-testhost.exe for x64 (build/win64), runs scripts/screenshots.vms
# under Wine and Xvfb in a fresh Wine prefix, and saves the pictures it marks as
# docs/screenshots/{dialog,calendar,help}.png. Installs what is missing (Debian/Ubuntu).
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=${JOBS:-2}
source scripts/lib/wine.sh
OUT=$ROOT/docs/screenshots

# --- Inside Xvfb ----------------------------------------------------------------------------
if [[ "${1:-}" == "--under-xvfb" ]]; then
  WORK=$ROOT/build/screenshots
  rm -rf "$WORK"
  mkdir -p "$WORK/shots" "$OUT"
  make_wine_prefix "$WORK/prefix"
  (cd "$ROOT/scripts" &&
    wine "$ROOT/build/win64/bin/velmora-testhost.exe" --script screenshots.vms \
      --shots "$(wine winepath -w "$WORK/shots" | tr -d '\r')" >"$WORK/screenshots.out")
  for name in dialog calendar help; do
    convert "$WORK/shots/$name.bmp" "$OUT/$name.png"
    echo "docs/screenshots/$name.png"
  done
  remove_wine_prefix
  exit
fi

# --- Outside: install, build, then the above under Xvfb ------------------------------------
missing=()
need() { "$@" >/dev/null 2>&1; }
need command -v x86_64-w64-mingw32-g++-win32 || missing+=(g++-mingw-w64-x86-64-win32)
need command -v x86_64-w64-mingw32-widl || missing+=(mingw-w64-tools)
[[ -f /usr/include/wine/wine/windows/oaidl.idl ]] || missing+=(libwine-dev)
[[ -x $WINE && -x $WINESERVER ]] || missing+=(wine64)
[[ -f /usr/share/wine/fonts/marlett.ttf ]] || missing+=(fonts-wine)
need command -v xvfb-run || missing+=(xvfb)
need command -v xauth || missing+=(xauth)
need command -v convert-im6.q16 || missing+=(imagemagick)
need command -v cmake || missing+=(cmake)
need command -v ninja || missing+=(ninja-build)
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "installing: ${missing[*]}"
  sudo=""
  [[ $(id -u) -ne 0 ]] && sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# ImageMagick's own convert, whatever else of that name comes first on the PATH.
convert() { convert-im6.q16 "$@"; }
export -f convert

mkdir -p build
cmake --preset win64 >build/win64-configure.log
cmake --build build/win64 -j"$JOBS" --target Velmora velmora-testhost
xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" --under-xvfb
