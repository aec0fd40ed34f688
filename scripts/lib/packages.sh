# require_packages PKG...: installs the Debian packages that are missing, with apt-get when
# this is a Debian machine and we are root (or have sudo). When one cannot be installed it
# names it and ends the calling script at once with MISSING_PACKAGES_STATUS, so a missing
# tool stops the run before anything is built with it (sourced, not run).
MISSING_PACKAGES_STATUS=3

require_packages() {
  local missing=() pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null && sudo=(sudo)
  if ! command -v apt-get >/dev/null || { [ "$(id -u)" -ne 0 ] && [ ${#sudo[@]} -eq 0 ]; }; then
    echo "Missing packages: ${missing[*]} (Debian package names); install them and run again" >&2
    exit "$MISSING_PACKAGES_STATUS"
  fi
  echo "Installing ${missing[*]}"
  # sudo resets the environment: the frontend setting goes through env.
  local apt=("${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get)
  "${apt[@]}" update -q >/dev/null 2>&1 || echo "apt-get update failed; trying the package lists at hand" >&2
  local log
  log=$(mktemp)
  if ! "${apt[@]}" install -y -q --no-install-recommends "${missing[@]}" >"$log" 2>&1; then
    local unknown=()
    for pkg in "${missing[@]}"; do
      apt-cache show "$pkg" >/dev/null 2>&1 || unknown+=("$pkg")
    done
    grep -E '^E: ' "$log" >&2
    rm -f "$log"
    if [ ${#unknown[@]} -gt 0 ]; then
      echo "Cannot install ${unknown[*]}: no such package in this system's package lists" >&2
    else
      echo "apt-get could not install: ${missing[*]}" >&2
    fi
    exit "$MISSING_PACKAGES_STATUS"
  fi
  rm -f "$log"
}
