# Shared by the scripts that run Velmora under Wine (sourced, not run).
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64

wine() { timeout 180 "$WINE" "$@" </dev/null; }

# make_wine_prefix DIR [UNIX_LOCALE]: a fresh Wine prefix in DIR, used by every later `wine`
# call. With a Unix locale (de_DE.UTF-8, found in LOCPATH) the prefix keeps that locale's own
# regional forms; without, English (US) with the development host's date and time forms.
make_wine_prefix() {
  export WINEPREFIX=$1
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko installer dialogs
  export LC_ALL=${2:-C.UTF-8}                 # Wine takes the prefix's locale from it
  # Started apart, so no Wine process keeps our output pipes open after it ends.
  "$WINESERVER" -p </dev/null >/dev/null 2>&1 || true
  wine wineboot -i >/dev/null 2>&1
  "$WINESERVER" -w
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

# remove_wine_prefix: ends the prefix's processes and deletes it.
remove_wine_prefix() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
