#!/usr/bin/env bash
# The screenshot of the setup program for the README: builds the release with
# scripts/package.sh, starts the setup under Wine and Xvfb in a fresh Wine prefix, waits until
# its first page stands still on the screen, and saves it as docs/screenshots/setup.png.
# Installs what is missing (Debian/Ubuntu).
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$PWD
WORK=$ROOT/build/setup-screenshot
OUT=$ROOT/docs/screenshots/setup.png
source scripts/lib/packages.sh
source scripts/lib/wine.sh
source scripts/lib/imagemagick.sh
convert() { imagemagick convert "$@"; }
import() { imagemagick import "$@"; }

# --- Inside Xvfb ----------------------------------------------------------------------------
if [[ "${1:-}" == "--under-xvfb" ]]; then
  rm -rf "$WORK" "$OUT"
  mkdir -p "$WORK" "$(dirname "$OUT")"
  make_wine_prefix "$WORK/prefix"
  wine "$2" >/dev/null 2>&1 &
  setup=$!
  # The page is there when the screen is no longer empty and two looks a second apart agree.
  previous=""
  for _ in $(seq 60); do
    sleep 1
    import -window root "$WORK/screen.png"
    shown=$(convert "$WORK/screen.png" -format '%[fx:standard_deviation>0]' info:)
    now=$(md5sum <"$WORK/screen.png")
    if [[ $shown == 1 && "$now" == "$previous" ]]; then
      # Only the window: Xvfb's empty screen around it is cut away.
      convert "$WORK/screen.png" -trim +repage "$OUT"
      echo "${OUT#"$ROOT"/}"
      break
    fi
    previous=$now
  done
  remove_wine_prefix
  wait "$setup" || true
  [[ -f "$OUT" ]] || { echo "the setup's page never appeared" >&2; exit 1; }
  exit
fi

# --- Outside: install, build, then the above under Xvfb ------------------------------------
require_packages wine64 fonts-wine xvfb xauth imagemagick nsis
setup=$(scripts/package.sh | grep -- '-setup\.exe$')
xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" --under-xvfb "$ROOT/$setup"
