#!/usr/bin/env bash
# Builds a release: both Velmora.dll files (presets win64 and win32) and, in dist/,
#   Velmora-<version>-setup.exe  the setup program (packaging/velmora.nsi, built with NSIS)
#   Velmora-<version>.zip        both DLLs and a short read-me, for registering by hand
#   SHA256SUMS                   the checksums of the two
# <version> is the project's version as the DLLs' version record shows it (e.g. 1.00.0015);
# it comes from project() in CMakeLists.txt and nowhere else. Installs what is missing
# (Debian/Ubuntu).
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=${VELMORA_JOBS:-2}
source scripts/lib/packages.sh

require_packages g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32 mingw-w64-tools libwine-dev \
  cmake ninja-build nsis zip

mkdir -p build
for preset in win64 win32; do
  cmake --preset "$preset" >"build/$preset-configure.log"
  cmake --build --preset "$preset" -j"$JOBS" --target Velmora
done

# The version header that the version record is made from.
header=build/win64/src/win32/generated/velmora_version.h
version=$(sed -n 's/^#define VELMORA_VERSION_TEXT "\(.*\)"$/\1/p' "$header")
numbers=$(sed -n 's/^#define VELMORA_VERSION_NUMBERS \(.*\)$/\1/p' "$header" | tr , .)
if [[ -z "$version" || -z "$numbers" ]]; then
  echo "package: no version in $header" >&2
  exit 1
fi

DIST=$ROOT/dist
mkdir -p "$DIST"
setup=Velmora-$version-setup.exe
archive=Velmora-$version.zip
rm -f "$DIST/$setup" "$DIST/$archive" "$DIST/SHA256SUMS"

# -WX: a warning of the installer's compiler is an error, as the C++ compiler's are.
makensis -V2 -WX -DVERSION="$version" -DVERSION_NUMBERS="$numbers" \
  -DX64_DLL="$ROOT/build/win64/bin/Velmora.dll" -DX86_DLL="$ROOT/build/win32/bin/Velmora.dll" \
  -DOUTFILE="$DIST/$setup" packaging/velmora.nsi

STAGE=$ROOT/build/package/Velmora-$version
rm -rf "$ROOT/build/package"
mkdir -p "$STAGE/x64" "$STAGE/x86"
cp build/win64/bin/Velmora.dll "$STAGE/x64/"
cp build/win32/bin/Velmora.dll "$STAGE/x86/"
# Windows line ends, so Notepad of any age shows the read-me as written.
sed "s/@VERSION@/$version/g; s/\$/\r/" packaging/README.txt >"$STAGE/README.txt"
(cd "$ROOT/build/package" && zip -q -X -r "$DIST/$archive" "Velmora-$version")

(cd "$DIST" && sha256sum "$setup" "$archive" >SHA256SUMS)
echo "dist/$setup"
echo "dist/$archive"
echo "dist/SHA256SUMS"
