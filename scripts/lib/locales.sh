# The regional settings the Windows tests run under (sourced, not run; after wine.sh).
#
# "iso" is a prefix whose date and time forms are set to yyyy-MM-dd and HH:mm:ss, the forms
# of the development host; every other name is a Windows locale whose own defaults a fresh
# prefix keeps. Wine takes a new prefix's locale from the Unix locale it runs under, so the
# Unix locales are compiled into a private folder (LOCPATH); the system is not touched.
#
# Forms of each locale: tests/win32/regional_expected.py, which also derives the expected
# output of the host scripts under it from their ISO expected output.

REGIONAL_EXPECTED=${REGIONAL_EXPECTED:-$PWD/tests/win32/regional_expected.py}

# make_locales DIR NAME...: compiles the Unix locales of the named Windows locales into DIR
# (once; kept between runs) and points LOCPATH there. Says which one failed.
make_locales() {
  local dir=$1 name unix
  shift
  mkdir -p "$dir"
  for name in "$@"; do
    [[ $name == iso ]] && continue
    unix=${name/-/_}.UTF-8
    [[ -f $dir/$unix/LC_TIME ]] && continue
    if ! localedef -i "${name/-/_}" -f UTF-8 "$dir/$unix" >"$dir/$unix.log" 2>&1 && [[ ! -f $dir/$unix/LC_TIME ]]; then
      echo "localedef could not make the locale $unix:" >&2
      tail -5 "$dir/$unix.log" >&2
      return 1
    fi
  done
  export LOCPATH=$dir
}

# locale_prefix DIR NAME: a fresh Wine prefix in DIR with the regional settings NAME, and a
# check that they arrived: the prefix's own short date, long time and decimal separator must
# be the locale's forms, or the run stops naming what the prefix has instead.
locale_prefix() {
  local dir=$1 name=$2
  if [[ $name == iso ]]; then
    make_wine_prefix "$dir"
    return
  fi
  make_wine_prefix "$dir" "${name/-/_}.UTF-8"
  local want got
  want=$("$REGIONAL_EXPECTED" --forms "$name") || return 1
  got=$(for value in sShortDate sTimeFormat sDecimal; do
          wine_reg query 'HKCU\Control Panel\International' /v "$value" | tr -d '\r' |
            sed -n "s/^ *$value *REG_SZ *//p"
        done | paste -sd '\t')
  if [[ $got != "$want" ]]; then
    echo "the Wine prefix for $name has the forms '$got', not '$want' (is the Unix locale ${name/-/_}.UTF-8 in LOCPATH=$LOCPATH?)" >&2
    return 1
  fi
}

# locale_runs_all LOCALE: whether every test runs under LOCALE: under "iso", and under
# every locale with VELMORA_LOCALE_SCRIPTS=all.
locale_runs_all() { [[ $1 == iso || ${VELMORA_LOCALE_SCRIPTS:-} == all ]]; }

# The GoogleTest tests that run under a real locale: those whose texts are regional (the
# user's date, time and decimal forms, the calendar's months and weeks, the texts' widths in
# the window, the time field under 12-hour forms, text in the user's code page). The rest
# behave the same under any locale.
REGIONAL_GTESTS=${REGIONAL_GTESTS:-'Regional.*:*Regional*:*UsersDecimal*:*TimeField*:*Calendar*:*EveryTextFits*:*Narrow*'}

# locale_runs_script LOCALE SCRIPT EXPECTED: whether a host script runs under LOCALE. Under
# "iso" every script runs (VELMORA_LOCALE_SCRIPTS=all: under every locale); under a real
# locale those whose output carries a regional text, that store a date, time or delay text
# for the plug-in to read, or that type a delay. The rest print the same under any locale.
locale_runs_script() {
  local locale=$1 script=$2 expected=$3
  locale_runs_all "$locale" && return 0
  grep -qE '^(SetStored(Type [0-9]+)? (ToDate|ToTime|Interval)|Type cmbDelay) ' "$script" && return 0
  ! diff -q <("$REGIONAL_EXPECTED" "$locale" <"$expected") "$expected" >/dev/null
}

# locale_expected LOCALE EXPECTED OUT: the expected output of a script under LOCALE, derived
# by rule from its ISO expected output; OUT is the file to compare with.
locale_expected() {
  local locale=$1 expected=$2 out=$3
  if [[ $locale == iso ]]; then cp "$expected" "$out"; else "$REGIONAL_EXPECTED" "$locale" <"$expected" >"$out"; fi
}
