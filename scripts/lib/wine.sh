# Shared by the scripts that run Velmora under Wine (sourced, not run).
#
# find_wine finds Wine's programs (first on the PATH, then in the files of the Debian
# packages that ship them), so no release's install layout is written in here. One 64-bit
# prefix runs x64 and x86 programs alike; x86 ones need the 32-bit half of Wine.

# wine_program NAME PACKAGE...: the path of an executable NAME, or nothing.
wine_program() {
  local name=$1 candidate
  shift
  for candidate in $(command -v "$name" 2>/dev/null) $(dpkg -L "$@" 2>/dev/null | grep "/$name\$"); do
    [[ -x $candidate && ! -d $candidate ]] && { echo "$candidate"; return 0; }
  done
  return 1
}

# find_wine: sets WINE (the 64-bit loader) and WINESERVER, or names the missing package.
find_wine() {
  WINE=$(wine_program wine64 wine64) || {
    echo "Wine's 64-bit loader (wine64) not found: install the Debian package wine64" >&2
    return 1
  }
  WINESERVER=$(wine_program wineserver64 wine64 || wine_program wineserver wine64 wine) || {
    echo "wineserver not found: install the Debian package wine64" >&2
    return 1
  }
}

# wine_runs_x86: whether this machine runs 32-bit Windows programs; says why not. Wine
# starts them with its 32-bit loader, a 32-bit Linux program, which some kernels and
# sandboxes refuse outright.
wine_runs_x86() {
  local loader
  loader=$(dpkg -L wine32:i386 wine32 2>/dev/null | grep '/lib/.*/wine$' | head -1)
  [[ -n $loader && -x $loader ]] || { echo "Wine's 32-bit loader not found: install the Debian package wine32:i386"; return 1; }
  "$loader" --version >/dev/null 2>&1 || {
    echo "this machine cannot run 32-bit programs ($loader: $("$loader" --version 2>&1 | head -1 | sed 's/.*: //'))"
    return 1
  }
}

# Found at once where Wine is installed; scripts that install it call find_wine afterwards.
find_wine 2>/dev/null || true

wine() { timeout 180 "$WINE" "$@" </dev/null; }

# wine_reg ARGS...: `wine reg ARGS`, its output on stdout. On a busy machine Wine now and then
# fails to start a program ("Application could not be started", or status 1 with nothing
# printed); reg itself explains its own failures, so such a start is tried once more.
wine_reg() {
  local out status try
  for try in 1 2; do
    out=$(wine reg "$@" 2>&1)
    status=$?
    [[ $status -ne 0 && ( -z $out || $out == *"could not be started"* ) ]] || break
  done
  [[ -n $out ]] && printf '%s\n' "$out"
  return $status
}

# make_wine_prefix DIR [UNIX_LOCALE]: a fresh 64-bit Wine prefix in DIR, used by every later
# `wine` call. With a Unix locale (de_DE.UTF-8, found in LOCPATH) the prefix keeps that locale's own
# regional forms; without, English (US) with the development host's date and time forms.
# With WINE_PREFIX_TEMPLATE set, a prefix is booted there once and each prefix is a copy of
# it: booting takes several times as long as copying, and Wine sets a copy's regional forms
# anew at its first start under another locale.
make_wine_prefix() {
  [[ -n ${WINE:-} ]] || find_wine || return 1
  export WINEARCH=win64
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko installer dialogs
  local template=${WINE_PREFIX_TEMPLATE:-}
  if [[ -n $template && ! -f $template/system.reg ]]; then
    export WINEPREFIX=$template LC_ALL=C.UTF-8
    "$WINESERVER" -p </dev/null >/dev/null 2>&1 || true
    wine wineboot -i >/dev/null 2>&1
    "$WINESERVER" -k >/dev/null 2>&1   # ends the server, which writes the registry out
    "$WINESERVER" -w
  fi
  [[ -n $template ]] && cp -a "$template" "$1"
  export WINEPREFIX=$1
  export LC_ALL=${2:-C.UTF-8}                 # Wine takes the prefix's locale from it
  # Started apart, so no Wine process keeps our output pipes open after it ends.
  "$WINESERVER" -p </dev/null >/dev/null 2>&1 || true
  if [[ -z $template ]]; then
    wine wineboot -i >/dev/null 2>&1
    "$WINESERVER" -w
  fi
  # No window manager runs under Xvfb: windows that Wine frames itself, so hiding one does
  # not wait for a manager's answer.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
  [[ -n ${2:-} ]] && return
  # The user's regional forms: dates and times as the development host writes them, so the
  # shared scripts give the same texts here (tests/win32/acceptance holds the expected output
  # of the few lines where the platform's date parser still reads a text differently).
  wine reg add 'HKCU\Control Panel\International' /v sShortDate /d yyyy-MM-dd /f >/dev/null
  wine reg add 'HKCU\Control Panel\International' /v sTimeFormat /d HH:mm:ss /f >/dev/null
  wine reg add 'HKCU\Control Panel\International' /v iDate /d 2 /f >/dev/null
}

# install_wine_fonts: copies Wine's own fonts (Debian package fonts-wine) into the prefix's
# windows\Fonts. This Wine never loads its own fonts folder: without them windows get
# fontconfig's faces instead of Tahoma, and the caption buttons show Marlett's letters.
install_wine_fonts() {
  local fonts
  mapfile -t fonts < <(dpkg -L fonts-wine 2>/dev/null | grep -iE '\.(ttf|ttc|otf|fon)$')
  [[ ${#fonts[@]} -gt 0 ]] || { echo "Wine's fonts not found: install the Debian package fonts-wine" >&2; return 1; }
  cp "${fonts[@]}" "$WINEPREFIX/drive_c/windows/Fonts/"
}

# remove_wine_prefix: ends the prefix's processes and deletes it.
remove_wine_prefix() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
