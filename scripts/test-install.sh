#!/usr/bin/env bash
# The setup program under Wine, in a fresh Wine prefix under Xvfb: builds the release with
# scripts/package.sh, from the same script an "earlier" setup (version 0.00.0001, DLLs that
# differ by a few trailing bytes) and a broken one (DLLs that load but whose type library is
# renamed, so registering them fails), a small COM client (tests/install/client.cpp), a button
# presser (tests/install/press.cpp) and a file holder (tests/install/hold.cpp), then installs,
# moves, upgrades and uninstalls in both scopes:
#   per user:  a failed install leaves nothing, and leaves a registration made by hand as it
#              was; an install that never asks for rights; the class (each registry view),
#              ProgID, type-library and installed-apps keys, the files in place; an upgrade that
#              keeps the user's settings; a move to another folder, after which the earlier
#              folder's uninstaller changes nothing of the install; an uninstall that leaves
#              only the settings;
#   all users: a standard user's setup restarts itself with the "runas" verb (the UAC prompt)
#              and a COM client then creates Velmora.clsVelmora and Initialize answers True
#              (Wine's COM reads machine-wide classes only, so this is the scope where a client
#              can check it); a failed upgrade restores the earlier install, and one whose
#              restoring rename is held by another program says so (exit code 5); an upgrade
#              while the client holds the DLL loaded (exit code 2), and interactively Retry once
#              it is free; a move; the uninstall started as the installed-apps list starts it,
#              which keeps a registration made by hand from another folder.
# Wine always runs as administrator: VELMORA_SETUP_AS_STANDARD_USER makes the setup believe it
# is not, and Wine's trace of ShellExecuteEx (WINEDEBUG=+exec) shows the verb it restarts
# itself with. Results that hold only under Wine (it does not redirect
# HKCU\Software\Classes\CLSID for 32-bit programs) say so.
# The x86 DLL is installed where Windows runs 32-bit programs; where this machine cannot, the
# prefix loses its 32-bit regsvr32, so the setup sees a Windows without them, and the x86 checks
# are printed NOT RUN.
# The last line is "install: N passed, N failed, N skipped"; the exit status is non-zero on a
# failure.
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
  not_run=0
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
    wine_reg query "$1" /v "$2" | tr -d '\r' |
      sed -n "s/^ *$2 *REG_[A-Z_]* *//p" | head -1
  }
  # default_value <key> [32|64]: the key's default value, in the registry view named (64 unless).
  default_value() {
    wine_reg query "$1" /ve "/reg:${2:-64}" | tr -d '\r' | sed -n 's/^ *(Default) *REG_SZ *//p' | head -1
  }
  has_key() { wine_reg query "$1" "/reg:${2:-64}" >/dev/null; }
  no_key() { ! has_key "$@"; }
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
    run_command "$command"
  }
  run_command() {
    eval "set -- $1"
    wine "$@" >/dev/null 2>&1 || problems+=("$* ended with $?")
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
  # The setup's log: cleared before a run whose log a group reads.
  log_text() { iconv -f UTF-16 -t UTF-8 "$LOG" 2>/dev/null | tr -d '\r'; }
  # logged <what> <text>: the log holds the text.
  logged() { [[ "$(log_text)" == *"$2"* ]] || problems+=("$1: the log has no \"$2\": $(log_text)"); }
  # as_standard_user <exe> <options...>: runs a program that believes it has no administrator
  # rights and echoes its exit code; $WORK/exec.trace holds every ShellExecuteEx call it made,
  # with its verb, as Wine traces it (Wine itself starts a "runas" program as any other).
  as_standard_user() {
    VELMORA_SETUP_AS_STANDARD_USER=1 WINEDEBUG=+exec wine "$@" >/dev/null 2>"$WORK/exec.trace"
    echo $?
    "$WINESERVER" -w
  }
  # restarted <what> <parameters>: it started itself again with the "runas" verb.
  restarted() {
    # Wine's trace doubles each backslash.
    grep -F 'verb=L"runas"' "$WORK/exec.trace" | grep -qF "parm=L\"${2//\\/\\\\}\"" ||
      problems+=("$1: no restart with the runas verb and \"$2\": $(grep SHELL_execute "$WORK/exec.trace")")
  }

  rm -rf "$WORK/prefix"
  make_wine_prefix "$WORK/prefix"
  # Windows runs 32-bit programs where its 32-bit subsystem is, and so does the setup: where
  # this machine cannot run them, the prefix is made a Windows without that subsystem.
  if x86why=$(wine_runs_x86); then
    arches="x64 x86"
  else
    arches="x64"
    rm -f "$WINEPREFIX/drive_c/windows/syswow64/regsvr32.exe"
    echo "NOT RUN the x86 DLL's install, registration and 32-bit client: $x86why"
    echo "        (the setup is checked to leave the x86 DLL out)"
    not_run=$((not_run + 1))
  fi
  with_x86() { [[ " $arches " == *" x86 "* ]]; }
  NEW=$WORK/dist/Velmora-$version-setup.exe
  OLD=$WORK/Velmora-$EARLIER-setup.exe
  BROKEN=$WORK/Velmora-broken-setup.exe
  localAppData=$(wine cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')
  LOG=$(unix_path "$(wine cmd /c 'echo %TEMP%' 2>/dev/null | tr -d '\r')\\Velmora-setup.log")
  [[ -n $LOG ]] || stop "no TEMP folder in the prefix"
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
  # registered <root> <folder> [folder of the x64 DLL]: class (each view), ProgID and type
  # library point into the folder.
  registered() {
    local classes="$1\\Software\\Classes" x64=${3:-$2}\\x64\\Velmora.dll x86=$2\\x86\\Velmora.dll
    local class="$classes\\CLSID\\$CLSID\\InprocServer32" expected64=$x64
    if [[ $1 == HKCU ]] && with_x86; then
      # Only under Wine: it keeps one HKCU class key for both views, so the x86 registration,
      # made last, is what the 64-bit view shows too. Windows shows $x64 there.
      expected64=$x86
      wine_only_noted=1
    fi
    same "$classes class, 64-bit view" "$expected64" "$(default_value "$class" 64)"
    with_x86 && same "$classes class, 32-bit view" "$x86" "$(default_value "$class" 32)"
    same "$classes ProgID" "$CLSID" "$(default_value "$classes\\Velmora.clsVelmora\\CLSID")"
    # Windows registers a per-user type library under HKCU; Wine's RegisterTypeLibForUser
    # registers it machine-wide, so either hive answers.
    local typelib="Software\\Classes\\TypeLib\\$LIBID\\1.0\\0" found
    found=$(default_value "$1\\$typelib\\win64")
    [[ -n "$found" ]] || found=$(default_value "HKLM\\$typelib\\win64")
    same "type library, win64" "$x64" "$found"
    if with_x86; then
      found=$(default_value "$1\\$typelib\\win32")
      [[ -n "$found" ]] || found=$(default_value "HKLM\\$typelib\\win32")
      same "type library, win32" "$x86" "$found"
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
  # unregistered <root>: no class in either view, no ProgID, no type library.
  unregistered() {
    want "no class key under $1, 64-bit view" no_key "$1\\Software\\Classes\\CLSID\\$CLSID" 64
    want "no class key under $1, 32-bit view" no_key "$1\\Software\\Classes\\CLSID\\$CLSID" 32
    want "no ProgID under $1" no_key "$1\\Software\\Classes\\Velmora.clsVelmora"
    want "no type library under HKLM" no_key "HKLM\\Software\\Classes\\TypeLib\\$LIBID"
    want "no type library under HKCU" no_key "HKCU\\Software\\Classes\\TypeLib\\$LIBID"
  }
  # gone <root> <folder>: nothing of Velmora left but the user's settings.
  gone() {
    unregistered "$1"
    want "no installed-apps entry under $1" no_key "$1\\$UNINSTALL"
    want "no folder $2" test ! -e "$(unix_path "$2")"
    settings_kept
  }
  # A folder as the zip holds it, for registering by hand.
  zipDir='C:\Velmora zip'
  mkdir -p "$(unix_path 'C:\')/Velmora zip"
  cp -r "$WORK/new/x64" "$WORK/new/x86" "$(unix_path "$zipDir")/"
  # old_uninstaller_changes_nothing <root> <old folder> <new folder> <copy of the old folder>
  # <uninstall option>: the earlier folder, back as a backup might bring it, and its uninstaller
  # run as its entry named it; it must leave the install in the new folder whole.
  old_uninstaller_changes_nothing() {
    cp -r "$4" "$(unix_path "$2")"
    run_command "\"$(unix_path "$2")/Uninstall.exe\"$5 /S"
    want "the earlier uninstaller removed its folder $2" test ! -e "$(unix_path "$2")"
    installed "$3" new
    registered "$1" "$3"
    entry "$1" "$3" "$version" "$5"
  }

  # Per user: a failed install, earlier install, settings, upgrade, move, uninstall.
  userDir="$localAppData\\Programs\\Velmora"
  settings_written || problems+=("settings could not be written")
  same "exit code when the DLL cannot be registered" 4 "$(setup "$BROKEN" /S)"
  gone HKCU "$userDir"
  group "per user: a DLL that cannot be registered fails the install and leaves nothing"

  # As the zip's read-me says; a failed setup must leave it working.
  wine regsvr32 /s /n /i:user "$zipDir\\x64\\Velmora.dll" >/dev/null 2>&1 || problems+=("regsvr32 by hand failed")
  rm -f "$LOG"
  same "exit code when the DLL cannot be registered" 4 "$(setup "$BROKEN" /S)"
  same "HKCU class, 64-bit view" "$zipDir\\x64\\Velmora.dll" "$(default_value "HKCU\\Software\\Classes\\CLSID\\$CLSID\\InprocServer32")"
  same "HKCU ProgID" "$CLSID" "$(default_value "HKCU\\Software\\Classes\\Velmora.clsVelmora\\CLSID")"
  found=$(default_value "HKCU\\Software\\Classes\\TypeLib\\$LIBID\\1.0\\0\\win64")
  [[ -n "$found" ]] || found=$(default_value "HKLM\\Software\\Classes\\TypeLib\\$LIBID\\1.0\\0\\win64")
  same "type library, win64" "$zipDir\\x64\\Velmora.dll" "$found"
  logged "the exit code's reason" "exit 4: Velmora.dll could not be registered; everything is as it was before"
  want "no installed-apps entry" no_key "HKCU\\$UNINSTALL"
  want "no folder $userDir" test ! -e "$(unix_path "$userDir")"
  wine regsvr32 /s /u /n /i:user "$zipDir\\x64\\Velmora.dll" >/dev/null 2>&1 || problems+=("regsvr32 /u by hand failed")
  unregistered HKCU
  group "per user: a failed first install leaves a registration made by hand with regsvr32 as it was"

  # A standard user's install asks for nothing.
  same "exit code of the earlier setup run by a standard user" 0 "$(as_standard_user "$OLD" /S)"
  ! grep -q 'SHELL_execute' "$WORK/exec.trace" ||
    problems+=("the per-user setup started a program: $(grep SHELL_execute "$WORK/exec.trace")")
  installed "$userDir" earlier
  entry HKCU "$userDir" "$EARLIER" ""
  group "per user: a standard user's silent install of the earlier version never asks for rights"

  settings_written || problems+=("settings could not be written")
  same "exit code" 0 "$(setup "$NEW" /S)"
  installed "$userDir" new
  registered HKCU "$userDir"
  entry HKCU "$userDir" "$version" ""
  settings_kept
  group "per user: silent upgrade, registered under HKCU (each view), settings kept"
  [[ -n ${wine_only_noted:-} ]] &&
    echo "    only under Wine: HKCU's class names x86\\Velmora.dll in the 64-bit view too (Windows redirects the 32-bit view)"

  # Another folder moves the install; the earlier folder's uninstaller, were it back, must not
  # undo it.
  movedUserDir='C:\Velmora-moved'
  # A program holds the earlier uninstaller open, so it cannot go.
  rm -rf "$WORK/old-copy" && cp -r "$(unix_path "$userDir")" "$WORK/old-copy"
  rm -f "$WORK/held" "$WORK/let-go" "$LOG"
  wine "$WORK/hold.exe" "$userDir\\Uninstall.exe" "$(win_path "$WORK/held")" "$(win_path "$WORK/let-go")" \
    >"$WORK/hold.out" 2>&1 &
  hold=$!
  for _ in $(seq 150); do [[ -e "$WORK/held" ]] && break; sleep 0.2; done
  same "exit code when a file of the earlier folder stays" 6 "$(setup "$NEW" /S "/D=$movedUserDir")"
  logged "the file left" "left in the earlier folder:"$'\n'"$userDir\\Uninstall.exe"
  touch "$WORK/let-go"
  wait "$hold" || problems+=("the holder ended with $?: $(tr -d '\r' <"$WORK/hold.out")")
  same "what is left of the earlier folder" Uninstall.exe "$(ls -A "$(unix_path "$userDir")" 2>&1)"
  rm -rf "$(unix_path "$userDir")"
  installed "$movedUserDir" new
  registered HKCU "$movedUserDir"
  entry HKCU "$movedUserDir" "$version" ""
  old_uninstaller_changes_nothing HKCU "$userDir" "$movedUserDir" "$WORK/old-copy" ""
  settings_kept
  group "per user: /D= moves the install (exit code 6 naming a file it could not remove); the earlier folder's uninstaller leaves it whole"

  uninstall HKCU
  gone HKCU "$movedUserDir"
  group "per user: silent uninstall leaves only the settings"

  # All users: a standard user's install, earlier install, a client holding it, upgrade, move,
  # uninstall.
  allDir='C:\Program Files\Velmora'
  # Windows would elevate no asInvoker program behind the setup's back: it asks itself.
  grep -aq 'level="asInvoker"' "$NEW" || problems+=("the setup's manifest does not ask to run as invoker")
  rm -f "$LOG"
  same "exit code of a standard user's setup" 0 "$(as_standard_user "$OLD" /S /ALLUSERS)"
  restarted "the setup" "/ELEVATED /S /ALLUSERS"
  logged "the restart's exit code" "exit 0: the code of the instance with administrator rights"
  installed "$allDir" earlier
  registered HKLM "$allDir"
  entry HKLM "$allDir" "$EARLIER" " /ALLUSERS"
  client_works 64 "$allDir\\x64"
  with_x86 && client_works 32 "$allDir\\x86"
  group "all users: a standard user's setup asks for rights with the runas verb, then the clients create Velmora.clsVelmora and Initialize answers True"

  # The restarted instance's exit code is the setup's.
  same "exit code when the DLL cannot be registered" 4 "$(as_standard_user "$BROKEN" /S /ALLUSERS)"
  restarted "the setup" "/ELEVATED /S /ALLUSERS"
  installed "$allDir" earlier
  registered HKLM "$allDir"
  same DisplayVersion "$EARLIER" "$(value "HKLM\\$UNINSTALL" DisplayVersion)"
  client_works 64 "$allDir\\x64"
  group "all users: a standard user's upgrade whose DLL cannot be registered fails with exit code 4 and restores the earlier install"

  # A scanner holds the earlier DLL once it is renamed aside, so it cannot return.
  rm -f "$WORK/held" "$WORK/let-go" "$LOG"
  wine "$WORK/hold.exe" "$allDir\\x64\\Velmora.dll.old" "$(win_path "$WORK/held")" "$(win_path "$WORK/let-go")" \
    >"$WORK/hold.out" 2>&1 &
  hold=$!
  same "exit code when the earlier DLL cannot be put back" 5 "$(setup "$BROKEN" /S /ALLUSERS)"
  want "the holder held the earlier DLL" test -e "$WORK/held"
  allUnix=$(unix_path "$allDir")
  want "x64\\Velmora.dll.old is the earlier DLL" cmp "$WORK/earlier/x64/Velmora.dll" "$allUnix/x64/Velmora.dll.old"
  want "x64\\Velmora.dll is there" test -f "$allUnix/x64/Velmora.dll"
  logged "the message" "The earlier $allDir\\x64\\Velmora.dll could not be put back"
  logged "what to do" "Rename $allDir\\x64\\Velmora.dll.old to Velmora.dll"
  [[ "$(log_text)" != *"as it was before"* ]] || problems+=("the log says everything is as before: $(log_text)")
  registered HKLM "$allDir"
  touch "$WORK/let-go"
  wait "$hold" || problems+=("the holder ended with $?: $(tr -d '\r' <"$WORK/hold.out")")
  # What the message tells the user to do.
  same "exit code of the earlier setup run again" 0 "$(setup "$OLD" /S /ALLUSERS)"
  installed "$allDir" earlier
  client_works 64 "$allDir\\x64"
  group "all users: an upgrade whose earlier DLL cannot be put back says so (exit code 5) and where it is"

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

  movedAllDir='C:\Velmora-all'
  rm -rf "$WORK/old-copy" && cp -r "$(unix_path "$allDir")" "$WORK/old-copy"
  same "exit code" 0 "$(setup "$NEW" /S /ALLUSERS "/D=$movedAllDir")"
  installed "$movedAllDir" new
  registered HKLM "$movedAllDir"
  entry HKLM "$movedAllDir" "$version" " /ALLUSERS"
  want "the earlier folder $allDir is removed" test ! -e "$(unix_path "$allDir")"
  old_uninstaller_changes_nothing HKLM "$allDir" "$movedAllDir" "$WORK/old-copy" " /ALLUSERS"
  client_works 64 "$movedAllDir\\x64"
  with_x86 && client_works 32 "$movedAllDir\\x86"
  group "all users: /D= moves the install; the earlier folder's uninstaller leaves it whole"

  # A registration made by hand from another folder is not the uninstaller's to remove. The
  # uninstall is started as the installed-apps list starts it: the UninstallString, by a
  # standard user, who answers its pages.
  wine regsvr32 /s "$zipDir\\x64\\Velmora.dll" >/dev/null 2>&1 || problems+=("regsvr32 by hand failed")
  command=$(value "HKLM\\$UNINSTALL" UninstallString)
  eval "set -- $command"
  rm -f "$LOG"
  as_standard_user "$@" >/dev/null &
  press "Uninstall" 1                           # the confirmation page's Uninstall
  press "Uninstallation Complete" 1             # Close
  wait $!
  restarted "the uninstaller" "/ELEVATED /ALLUSERS _?=$movedAllDir"
  logged "the restart's exit code" "exit 0: the code of the instance with administrator rights"
  logged "the kept registration" "the 64-bit registration names no DLL of $movedAllDir: kept"
  same "HKLM class, 64-bit view" "$zipDir\\x64\\Velmora.dll" "$(default_value "HKLM\\Software\\Classes\\CLSID\\$CLSID\\InprocServer32")"
  same "HKLM ProgID" "$CLSID" "$(default_value "HKLM\\Software\\Classes\\Velmora.clsVelmora\\CLSID")"
  same "type library, win64" "$zipDir\\x64\\Velmora.dll" \
    "$(default_value "HKLM\\Software\\Classes\\TypeLib\\$LIBID\\1.0\\0\\win64")"
  want "no HKLM class, 32-bit view" no_key "HKLM\\Software\\Classes\\CLSID\\$CLSID" 32
  want "no installed-apps entry" no_key "HKLM\\$UNINSTALL"
  want "no folder $movedAllDir" test ! -e "$(unix_path "$movedAllDir")"
  client_works 64 "$zipDir\\x64"
  wine regsvr32 /s /u "$zipDir\\x64\\Velmora.dll" >/dev/null 2>&1 || problems+=("regsvr32 /u by hand failed")
  gone HKLM "$movedAllDir"
  client 64
  [[ $client_status -eq 2 ]] || problems+=("a client still reaches the class: $client_out")
  group "all users: the installed-apps list's uninstall, by a standard user, asks with the runas verb and keeps a registration made by hand"

  remove_wine_prefix
  if [[ $not_run -gt 0 ]]; then
    echo "install: $passed passed, $failed failed, $not_run skipped (see NOT RUN above)"
  else
    echo "install: $passed passed, $failed failed"
  fi
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
# And one whose DLLs load but cannot be registered: their type library resource is renamed,
# so registering fails before it writes anything, while unregistering works as ever.
mkdir -p "$WORK/broken/x64" "$WORK/broken/x86"
for arch in x64:win64 x86:win32; do
  perl -0777 -pe '$n = s/T\0Y\0P\0E\0L\0I\0B\0/T\0Y\0P\0E\0L\0I\0X\0/g; END { exit($n != 1) }' \
    "build/${arch#*:}/bin/Velmora.dll" >"$WORK/broken/${arch%%:*}/Velmora.dll" ||
    stop "build/${arch#*:}/bin/Velmora.dll has not exactly one TYPELIB resource type to rename"
done
makensis -V2 -WX -DVERSION=$EARLIER -DVERSION_NUMBERS=0.0.0.1 -DX64_DLL="$WORK/earlier/x64/Velmora.dll" \
  -DX86_DLL="$WORK/earlier/x86/Velmora.dll" -DOUTFILE="$WORK/Velmora-$EARLIER-setup.exe" packaging/velmora.nsi &&
makensis -V2 -WX -DVERSION=0.00.0002 -DVERSION_NUMBERS=0.0.0.2 -DX64_DLL="$WORK/broken/x64/Velmora.dll" \
  -DX86_DLL="$WORK/broken/x86/Velmora.dll" -DOUTFILE="$WORK/Velmora-broken-setup.exe" packaging/velmora.nsi ||
  stop "makensis could not build the setups for the tests"

for arch in 64:x86_64 32:i686; do
  "${arch#*:}-w64-mingw32-g++" -std=c++20 -O2 -Wall -Wextra -Werror -municode -static \
    -o "$WORK/client-${arch%%:*}.exe" tests/install/client.cpp -lole32 -loleaut32 -luuid ||
    stop "the ${arch%%:*}-bit client does not build"
done
for tool in press hold; do
  x86_64-w64-mingw32-g++ -std=c++20 -O2 -Wall -Wextra -Werror -municode -static -o "$WORK/$tool.exe" \
    "tests/install/$tool.cpp" || stop "tests/install/$tool.cpp does not build"
done

xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" --under-xvfb "$version"
