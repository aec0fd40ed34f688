#!/usr/bin/env bash
# Builds Velmora.dll for x64 and x86 Windows with mingw-w64 and runs the Windows tests under
# Wine and Xvfb in a fresh Wine prefix: registration with regsvr32, the GoogleTest suite
# (velmora-win-tests.exe) and the host scripts of tests/acceptance, run through
# velmora-testhost.exe, whose dialog actions act on the real configuration window.
# Installs what is missing (Debian/Ubuntu).
#
# Builds: build/win64 and build/win32 (presets win64, win32: the product), and
# build/win64-tests (the GoogleTest program, which needs the compilers' posix threading
# variant; it runs against a copy of build/win64's Velmora.dll).
#
# Regional settings: the tests run once in a prefix with the development host's date and
# time forms (iso), then again in prefixes that keep a locale's own Windows defaults: the
# GoogleTest suite and the host scripts whose output or input carries regional texts (the
# expected output derived by rule, see scripts/lib/locales.sh).
#
#   VELMORA_LOCALES="iso en-US de-DE en-GB"   the regional settings to test under
#   VELMORA_LOCALE_SCRIPTS=all                 every host script under every locale
#   VELMORA_JOBS=2                             build jobs
#
# The last line is "windows: N passed, N failed"; the exit status is non-zero on a failure.
set -uo pipefail

cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=${VELMORA_JOBS:-2}
LOCALES=${VELMORA_LOCALES:-iso en-US de-DE en-GB}

source scripts/lib/packages.sh
source scripts/lib/wine.sh
source scripts/lib/locales.sh

# --- Inside Xvfb: the tests themselves ----------------------------------------------------
if [[ "${1:-}" == "--under-xvfb" ]]; then
  BIN=$ROOT/build/win64/bin
  WORK=$ROOT/build/win-test
  passed=0
  failed=0
  pass() { passed=$((passed + 1)); echo "PASS $1"; }
  fail() { failed=$((failed + 1)); echo "FAIL $1"; [[ -n "${2:-}" ]] && sed 's/^/    /' "$2" | head -40; }

  # run_tests LOCALE: the tests in the current prefix, whose regional settings LOCALE names.
  run_tests() {
    local locale=$1 out=$WORK/$1
    mkdir -p "$out"
    # Locale-free: the DLLs' shape and their registration.
    if [[ $locale == iso ]]; then
      # The shape of both DLLs: the five exports, and nothing but system DLLs to load.
      for arch in win64:x86_64 win32:i686; do
        dll=$ROOT/build/${arch%%:*}/bin/Velmora.dll
        dump=$WORK/${arch%%:*}-objdump.txt
        "${arch#*:}-w64-mingw32-objdump" -p "$dll" >"$dump" 2>&1
        missing=$(for e in DllGetClassObject DllCanUnloadNow DllRegisterServer DllUnregisterServer DllInstall; do
          grep -qE "^\s+\[\s*[0-9]+\] $e\$" "$dump" || echo "$e"; done)
        foreign=$(grep 'DLL Name:' "$dump" | grep -viE 'kernel32|user32|gdi32|comctl32|advapi32|ole32|oleaut32|msvcrt' || true)
        if [[ -z "$missing" && -z "$foreign" ]]; then
          pass "${arch%%:*} Velmora.dll exports the entry points and needs only system DLLs"
        else
          echo "missing exports: $missing; other DLLs: $foreign" >"$WORK/shape.txt"
          fail "${arch%%:*} Velmora.dll shape" "$WORK/shape.txt"
        fi
      done

      # regsvr32: per user without administrator rights, then machine-wide; both undone.
      classKey='Software\Classes\CLSID\{51E745C5-6F40-4C3C-902A-F76577C980BB}\InprocServer32'
      regsvr() {  # <what> <hive> <regsvr32 options...>
        local what=$1 hive=$2
        shift 2
        local log=$WORK/regsvr32.log
        if wine regsvr32 "$@" "$BIN/Velmora.dll" >"$log" 2>&1 &&
           wine reg query "$hive\\$classKey" >>"$log" 2>&1 && grep -q 'Velmora.dll' "$log" &&
           wine regsvr32 /u "$@" "$BIN/Velmora.dll" >>"$log" 2>&1 &&
           ! wine reg query "$hive\\$classKey" >>"$log" 2>&1; then
          pass "regsvr32 $* registers under $hive and unregisters"
        else
          fail "regsvr32 $* $what" "$log"
        fi
      }
      regsvr "per user" HKCU /s /n /i:user
      regsvr "machine-wide" HKLM /s
    fi

    # The GoogleTest suite, against the product's DLL.
    TESTBIN=$ROOT/build/win64-tests/bin
    cp "$BIN/Velmora.dll" "$TESTBIN/Velmora.dll"
    log=$out/velmora-win-tests.log
    (cd "$out" && wine "$TESTBIN/velmora-win-tests.exe" 2>&1 | tr -d '\r' >"$log")
    status=$?
    grep -E '^\[ +(OK|FAILED) +\] ' "$log" | grep -v ' tests\?, listed below' | grep ' ms)$' | sed "s/^/  $locale /"
    ok=$(grep -cE '^\[ +OK +\] .* ms\)$' "$log")
    bad=$(grep -cE '^\[ +FAILED +\] .* ms\)$' "$log")
    passed=$((passed + ok))
    failed=$((failed + bad))
    if [[ $status -ne 0 && $bad -eq 0 ]]; then fail "$locale: velmora-win-tests.exe ended with status $status" "$log"; fi
    [[ $bad -ne 0 ]] && grep -B2 -A12 'Failure$' "$log" | head -80

    # Host scripts, each on a fresh settings area.
    # tests/acceptance holds the scripts of both hosts; tests/win32/acceptance the Windows
    # host's own scripts, and its expected output where the regional forms differ.
    for script in "$ROOT"/tests/acceptance/*.vms "$ROOT"/tests/win32/acceptance/*.vms; do
      name=$(basename "$script" .vms)
      dir=$(dirname "$script")
      expected=$ROOT/tests/win32/acceptance/$name.expected
      [[ -f "$expected" ]] || expected=$dir/$name.expected
      locale_runs_script "$locale" "$script" "$expected" || continue
      locale_expected "$locale" "$expected" "$out/$name.expected"
      expected=$out/$name.expected
      expectedExit=$(sed -n 's/^# expect-exit: \([0-9]\+\)$/\1/p' "$script" | head -1)
      wine reg delete 'HKCU\Software\Tevrand' /f >/dev/null 2>&1
      actual=$out/$name.out
      err=$out/$name.err
      (cd "$dir" && wine "$BIN/velmora-testhost.exe" --script "$name.vms" >"$actual" 2>"$err")
      status=$?
      problems=$out/$name.problems
      : >"$problems"
      [[ $status -eq ${expectedExit:-0} ]] || { echo "exit status $status, expected ${expectedExit:-0}"; cat "$err"; } >>"$problems"
      diff -u "$expected" "$actual" >>"$problems" 2>&1 || true
      [[ -f "$dir/$name.stderr" ]] && { diff -u "$dir/$name.stderr" "$err" >>"$problems" 2>&1 || true; }
      if [[ -s "$problems" ]]; then fail "$locale: script $name" "$problems"; else pass "$locale: script $name"; fi
    done
  }

  rm -rf "$WORK"
  mkdir -p "$WORK"
  # shellcheck disable=SC2086
  if ! make_locales "$ROOT/build/locales" $LOCALES 2>"$WORK/locales.txt"; then
    fail "the locales $LOCALES can be made" "$WORK/locales.txt"
    LOCALES=iso
  fi
  for locale in $LOCALES; do
    start=$SECONDS
    if locale_prefix "$WORK/prefix-$locale" "$locale" 2>"$WORK/prefix-$locale.txt"; then
      run_tests "$locale"
    else
      fail "$locale: a Wine prefix with these regional settings" "$WORK/prefix-$locale.txt"
    fi
    remove_wine_prefix
    echo "$locale: $((SECONDS - start)) s"
  done
  echo "windows: $passed passed, $failed failed"
  [[ $failed -eq 0 ]]
  exit
fi

# --- Outside: install, build, then run the above under Xvfb --------------------------------
require_packages g++-mingw-w64-x86-64-win32 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-win32 \
  mingw-w64-tools libwine-dev wine64 googletest xvfb xauth cmake ninja-build locales python3 ||
  { echo "windows: 0 passed, 1 failed"; exit 1; }

build() {  # <build dir name> <configure arguments...> -- <targets...>
  local dir=$1
  shift
  local configure=()
  while [[ $1 != "--" ]]; do configure+=("$1"); shift; done
  shift
  if ! cmake "${configure[@]}" >"$ROOT/build/$dir-configure.log" 2>&1; then
    tail -30 "$ROOT/build/$dir-configure.log"
    return 1
  fi
  cmake --build "$ROOT/build/$dir" -j"$JOBS" --target "$@"
}
mkdir -p build
if ! build win64 --preset win64 -- Velmora velmora-testhost ||
   ! build win32 --preset win32 -- Velmora ||
   ! build win64-tests -S "$ROOT" -B "$ROOT/build/win64-tests" -G Ninja -DCMAKE_BUILD_TYPE=Release \
       -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-x86_64.cmake" -DVELMORA_MINGW_THREADS=posix \
       -- velmora-win-tests; then
  echo "windows: 0 passed, 1 failed"
  exit 1
fi

xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" --under-xvfb
