#!/usr/bin/env bash
# The setup program under Wine, in a fresh Wine prefix under Xvfb: builds the release with
# scripts/package.sh, from the same script an "earlier" setup (version 0.00.0001, DLLs that
# differ by a few trailing bytes) and a broken one (DLLs that do not load), a small COM client
# (tests/install/client.cpp) and a button presser (tests/install/press.cpp), then installs,
# upgrades and uninstalls in both scopes:
#   per user:  a failed install leaves nothing; the class, ProgID, type-library and
#              installed-apps keys, the files in place, an upgrade that keeps the user's
#              settings, an uninstall that leaves only the settings;
#   all users: the client creates Velmora.clsVelmora and Initialize answers True (Wine's COM
#              reads machine-wide classes only, so this is the scope where a client can check
#              it); a failed upgrade, and one while the client holds the DLL loaded (exit code
#              2), leave the earlier install whole and working; interactively the setup names
#              the DLL in use and Retry upgrades once it is free; then uninstall.
# The x86 DLL is installed where Windows runs 32-bit programs; a machine that cannot run them
# (its Wine prefix has no 32-bit subsystem) is checked for that instead.
# The last line is "install: N passed, N failed"; the exit status is non-zero on a failure.
set -uo pipefail

cd "$(dirname "$0")/.."
ROOT=$PWD
WORK=$ROOT/build/install-test
EMAIL=install-test@example.com
SETTINGS="HKCU\\Software\\Tevrand\\Pelmar2\\$EMAIL\\Preferences\\Plugins\\Velmora.dll"
CLSID='{51E745C5-6F40-4C3C-902A-F76577C980BB}'
LIBID='{1B22B473-A6B4-4AED-AEBE-9A407B47EF5D}'
UNINSTALL='Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora'
EARLIER=0.00.0001

source scripts/lib/packages.sh
source scripts/lib/wine.sh

stop() { echo "install: $*" >&2; echo "install: 0 passed, 1 failed"; exit 1; }

# --- Inside Xvfb: the tests themselves ----------------------------------------------------
if [[ "${1:-}" == "--under-xvfb" ]]; then
  version=$2
  passed=0
  failed=0
  problems=()
  # want <what> <command...>: notes <what> as a problem when the command fails.
  want() { local what=$1; shift; "$@" >/dev/null 2>&1 || problems+=("$what"); }
  # same <what> <expected> <actual>
  same() { [[ "$2" == "$3" ]] || problems+=("$1: expected \"$2\", got \"$3\""); }
  # group <name>: ends a group of checks, which passes when none of them noted a problem.
  group() {
    if ((${#problems[@]})); then
      failed=$((failed + 1)); echo "FAIL $1"; printf '    %s\n' "${problems[@]}"
    else
      passed=$((passed + 1)); echo "PASS $1"
    fi
    problems=()
  }

  # value <key> <name>: the data of a registry value, empty when there is none.
  value() {
    wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
      sed -n "s/^ *$2 *REG_[A-Z_]* *//p" | head -1
  }
  default_value() { wine reg query "$1" /ve 2>/dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_SZ *//p' | head -1; }
  has_key() { wine reg query "$1" >/dev/null 2>&1; }
  no_key() { ! has_key "$1"; }
  unix_path() { wine winepath -u "$1" 2>/dev/null | tr -d '\r'; }
  win_path() { wine winepath -w "$1" 2>/dev/null | tr -d '\r'; }

  # setup <exe> <options...>: runs a setup and echoes its exit code.
  setup() { local exe=$1; shift; wine "$exe" "$@" >/dev/null 2>&1; echo $?; }
  # uninstall <root>: runs the quiet uninstall command of the installed-apps entry, as Windows
  # does, and waits for it (the uninstaller runs from a copy of itself and returns at once).
  uninstall() {
    local command
    command=$(value "$1\\$UNINSTALL" QuietUninstallString)
    [[ -n "$command" ]] || { problems+=("no QuietUninstallString under $1"); return; }
    eval "set -- $command"
    wine "$@" >/dev/null 2>&1 || problems+=("$command ended with $?")
    "$WINESERVER" -w
  }
  # client <bitness> <options...>: the COM client's output; its status in $client_status.
  client() { local bits=$1; shift; client_out=$(wine "$WORK/client-$bits.exe" "$EMAIL" "$@" 2>&1 | tr -d '\r'); client_status=$?; }
  client_works() {  # <bitness> <expected folder of the DLL, Windows form>
    client "$1"
    [[ $client_status -eq 0 && "$client_out" == *"Initialize -> True"* ]] ||
      problems+=("$1-bit client: status $client_status, output: $client_out")
    [[ "$client_out" == *"loaded $2\\Velmora.dll"* ]] || problems+=("$1-bit client did not load $2\\Velmora.dll: $client_out")
  }

  rm -rf "$WORK/prefix"
  make_wine_prefix "$WORK/prefix"
  # Windows runs 32-bit programs where its 32-bit subsystem is, and so does the setup.
  if [[ -e "$WINEPREFIX/drive_c/windows/syswow64/regsvr32.exe" ]]; then
    arches="x64 x86"
  else
    arches="x64"
    echo "note: this machine runs no 32-bit programs (its Wine prefix has no 32-bit subsystem):"
    echo "      the setup must leave the x86 DLL out, and the 32-bit client cannot run"
  fi
  NEW=$WORK/dist/Velmora-$version-setup.exe
  OLD=$WORK/Velmora-$EARLIER-setup.exe
  BROKEN=$WORK/Velmora-broken-setup.exe
  localAppData=$(wine cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')
  settings_written() {
    wine reg add "$SETTINGS" /v Nick /d '%d day[ds] to go' /f >/dev/null &&
      wine reg add "$SETTINGS" /v Delay /d 60 /f >/dev/null
  }
  settings_kept() {
    same "setting Nick" '%d day[ds] to go' "$(value "$SETTINGS" Nick)"
    same "setting Delay" 60 "$(value "$SETTINGS" Delay)"
  }
  # installed <folder, Windows form> <which: new|earlier>: the DLLs of that setup, and no other.
  installed() {
    local dir arch
    dir=$(unix_path "$1")
    for arch in x64 x86; do
      if [[ " $arches " == *" $arch "* ]]; then
        want "$1\\$arch\\Velmora.dll is the $2 one" cmp "$WORK/$2/$arch/Velmora.dll" "$dir/$arch/Velmora.dll"
      else
        want "no $arch folder on this machine" test ! -e "$dir/$arch"
      fi
    done
    want "$1\\Uninstall.exe" test -f "$dir/Uninstall.exe"
    want "no files left from staging" test -z "$(find "$dir" -name '*.new' -o -name '*.old')"
  }
  # registered <root> <folder>: class, ProgID and type library point into the folder.
  registered() {
    local classes="$1\\Software\\Classes"
    same "$classes class" "$2\\x64\\Velmora.dll" "$(default_value "$classes\\CLSID\\$CLSID\\InprocServer32")"
    same "$classes ProgID" "$CLSID" "$(default_value "$classes\\Velmora.clsVelmora\\CLSID")"
    # Windows registers a per-user type library under HKCU; Wine's RegisterTypeLibForUser
    # registers it machine-wide, so either hive answers.
    local typelib="Software\\Classes\\TypeLib\\$LIBID\\1.0\\0\\win64"
    local found
    found=$(default_value "$1\\$typelib")
    [[ -n "$found" ]] || found=$(default_value "HKLM\\$typelib")
    same "type library" "$2\\x64\\Velmora.dll" "$found"
    if [[ " $arches " == *" x86 "* ]]; then
      same "$classes class, 32-bit view" "$2\\x86\\Velmora.dll" \
        "$(wine reg query "$classes\\CLSID\\$CLSID\\InprocServer32" /ve /reg:32 2>/dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_SZ *//p')"
    fi
  }
  # entry <root> <folder> <version> <extra uninstall option>: the installed-apps entry.
  entry() {
    local key="$1\\$UNINSTALL" uninstaller="\"$2\\Uninstall.exe\"$4" size
    same DisplayName Velmora "$(value "$key" DisplayName)"
    same DisplayVersion "$3" "$(value "$key" DisplayVersion)"
    same InstallLocation "$2" "$(value "$key" InstallLocation)"
    same UninstallString "$uninstaller" "$(value "$key" UninstallString)"
    same QuietUninstallString "$uninstaller /S" "$(value "$key" QuietUninstallString)"
    same NoModify 0x1 "$(value "$key" NoModify)"
    same NoRepair 0x1 "$(value "$key" NoRepair)"
    [[ -n "$(value "$key" Publisher)" ]] || problems+=("no Publisher")
    size=$(value "$key" EstimatedSize)
    # In KiB: at least the x64 DLL, at most all the DLLs with the uninstaller.
    (( size * 1024 >= $(stat -c %s "$WORK/new/x64/Velmora.dll") && size < 8192 )) 2>/dev/null ||
      problems+=("EstimatedSize $size KiB")
  }
  # gone <root> <folder>: nothing of Velmora left but the user's settings.
  gone() {
    want "no class key under $1" no_key "$1\\Software\\Classes\\CLSID\\$CLSID"
    want "no ProgID under $1" no_key "$1\\Software\\Classes\\Velmora.clsVelmora"
    want "no type library under HKLM" no_key "HKLM\\Software\\Classes\\TypeLib\\$LIBID"
    want "no type library under HKCU" no_key "HKCU\\Software\\Classes\\TypeLib\\$LIBID"
    want "no installed-apps entry under $1" no_key "$1\\$UNINSTALL"
    want "no folder $2" test ! -e "$(unix_path "$2")"
    settings_kept
  }

  # Per user: a failed install, earlier install, settings, upgrade, uninstall.
  userDir="$localAppData\\Programs\\Velmora"
  settings_written || problems+=("settings could not be written")
  same "exit code when the DLL cannot be registered" 4 "$(setup "$BROKEN" /S)"
  gone HKCU "$userDir"
  group "per user: a DLL that cannot be registered fails the install and leaves nothing"

  same "exit code of the earlier setup" 0 "$(setup "$OLD" /S)"
  installed "$userDir" earlier
  entry HKCU "$userDir" "$EARLIER" ""
  group "per user: silent install of the earlier version"

  settings_written || problems+=("settings could not be written")
  same "exit code" 0 "$(setup "$NEW" /S)"
  installed "$userDir" new
  registered HKCU "$userDir"
  entry HKCU "$userDir" "$version" ""
  settings_kept
  group "per user: silent upgrade, registered under HKCU, settings kept"

  uninstall HKCU
  gone HKCU "$userDir"
  group "per user: silent uninstall leaves only the settings"

  # All users: earlier install, a client holding it, upgrade, uninstall.
  allDir='C:\Program Files\Velmora'
  same "exit code of the earlier setup" 0 "$(setup "$OLD" /S /ALLUSERS)"
  installed "$allDir" earlier
  registered HKLM "$allDir"
  entry HKLM "$allDir" "$EARLIER" " /ALLUSERS"
  client_works 64 "$allDir\\x64"
  [[ " $arches " == *" x86 "* ]] && client_works 32 "$allDir\\x86"
  group "all users: silent install, the clients create Velmora.clsVelmora and Initialize answers True"

  same "exit code when the DLL cannot be registered" 4 "$(setup "$BROKEN" /S /ALLUSERS)"
  installed "$allDir" earlier
  registered HKLM "$allDir"
  same DisplayVersion "$EARLIER" "$(value "HKLM\\$UNINSTALL" DisplayVersion)"
  client_works 64 "$allDir\\x64"
  group "all users: a DLL that cannot be registered fails the upgrade and restores the earlier install"

  # A client keeps the DLL loaded through the next two groups.
  rm -f "$WORK/ready" "$WORK/release"
  wine "$WORK/client-64.exe" "$EMAIL" "$(win_path "$WORK/ready")" "$(win_path "$WORK/release")" >"$WORK/holder.out" 2>&1 &
  holder=$!
  for _ in $(seq 150); do [[ -e "$WORK/ready" ]] && break; sleep 0.2; done
  want "the holding client loads the DLL" test -e "$WORK/ready"
  same "exit code while the DLL is loaded" 2 "$(setup "$NEW" /S /ALLUSERS)"
  installed "$allDir" earlier
  registered HKLM "$allDir"
  same DisplayVersion "$EARLIER" "$(value "HKLM\\$UNINSTALL" DisplayVersion)"
  client_works 64 "$allDir\\x64"
  group "all users: silent install while a client holds the DLL fails and leaves the earlier install working"

  # The same interactively, pressing the buttons a user would: the setup names the DLL in use,
  # and Retry after the client has let go upgrades.
  settings_written || problems+=("settings could not be written")
  wine "$NEW" /ALLUSERS >/dev/null 2>&1 &
  interactive=$!
  # press <text> <button id>: presses a button of the window that shows the text.
  press() { wine "$WORK/press.exe" "$1" "$2" 2>&1 | tr -d '\r' >"$WORK/press.out" || problems+=("$(cat "$WORK/press.out")"); }
  press "Install Velmora" 1                     # the welcome page's Install
  press "is in use" 0                           # the message box, waited for
  grep -q "x64.Velmora.dll is in use" "$WORK/press.out" || problems+=("the message names no DLL: $(cat "$WORK/press.out")")
  touch "$WORK/release"
  wait "$holder" || problems+=("the holding client ended with $?: $(tr -d '\r' <"$WORK/holder.out")")
  press "is in use" 4                           # its Retry
  press "Completing" 1                          # the finish page's Finish
  wait "$interactive"
  same "exit code of the interactive setup" 0 $?
  installed "$allDir" new
  registered HKLM "$allDir"
  entry HKLM "$allDir" "$version" " /ALLUSERS"
  settings_kept
  client_works 64 "$allDir\\x64"
  group "all users: interactive install says the DLL is in use; Retry once it is free upgrades and keeps the settings"

  # The uninstaller started from its folder without /ALLUSERS finds the install's scope itself.
  wine "$(unix_path "$allDir")/Uninstall.exe" /S >/dev/null 2>&1 || problems+=("Uninstall.exe /S ended with $?")
  "$WINESERVER" -w
  gone HKLM "$allDir"
  client 64
  [[ $client_status -eq 2 ]] || problems+=("a client still reaches the class: $client_out")
  group "all users: silent uninstall from the install's folder leaves only the settings"

  remove_wine_prefix
  echo "install: $passed passed, $failed failed"
  [[ $failed -eq 0 ]]
  exit
fi

# --- Outside: install, build, then run the above under Xvfb --------------------------------
require_packages g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32 mingw-w64-tools libwine-dev \
  wine64 xvfb xauth cmake ninja-build nsis zip || stop "missing packages"

mkdir -p "$WORK"
scripts/package.sh >"$WORK/package.log" 2>&1 || { tail -30 "$WORK/package.log"; stop "scripts/package.sh failed"; }
version=$(sed -n 's/^dist\/Velmora-\(.*\)-setup\.exe$/\1/p' "$WORK/package.log")
[[ -n "$version" ]] || stop "scripts/package.sh named no setup program"

# What the tests install: the new setup as shipped, and an earlier one.
rm -rf "$WORK/dist" "$WORK/new" "$WORK/earlier" "$WORK/broken"
cp -r dist "$WORK/dist"
for arch in x64:win64 x86:win32; do
  mkdir -p "$WORK/new/${arch%%:*}" "$WORK/earlier/${arch%%:*}"
  cp "build/${arch#*:}/bin/Velmora.dll" "$WORK/new/${arch%%:*}/"
  # Bytes after the last section change the file, not what Windows loads.
  { cat "build/${arch#*:}/bin/Velmora.dll"; printf 'an earlier build'; } >"$WORK/earlier/${arch%%:*}/Velmora.dll"
done
# And one whose DLLs no Windows loads, so registering them fails.
mkdir -p "$WORK/broken"
head -c 4096 build/win64/bin/Velmora.dll >"$WORK/broken/Velmora.dll"
makensis -V2 -WX -DVERSION=$EARLIER -DVERSION_NUMBERS=0.0.0.1 -DX64_DLL="$WORK/earlier/x64/Velmora.dll" \
  -DX86_DLL="$WORK/earlier/x86/Velmora.dll" -DOUTFILE="$WORK/Velmora-$EARLIER-setup.exe" packaging/velmora.nsi &&
makensis -V2 -WX -DVERSION=0.00.0002 -DVERSION_NUMBERS=0.0.0.2 -DX64_DLL="$WORK/broken/Velmora.dll" \
  -DX86_DLL="$WORK/broken/Velmora.dll" -DOUTFILE="$WORK/Velmora-broken-setup.exe" packaging/velmora.nsi ||
  stop "makensis could not build the setups for the tests"

for arch in 64:x86_64 32:i686; do
  "${arch#*:}-w64-mingw32-g++" -std=c++20 -O2 -Wall -Wextra -Werror -municode -static \
    -o "$WORK/client-${arch%%:*}.exe" tests/install/client.cpp -lole32 -loleaut32 -luuid ||
    stop "the ${arch%%:*}-bit client does not build"
done
x86_64-w64-mingw32-g++ -std=c++20 -O2 -Wall -Wextra -Werror -municode -static -o "$WORK/press.exe" \
  tests/install/press.cpp || stop "the button presser does not build"

xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" --under-xvfb "$version"
