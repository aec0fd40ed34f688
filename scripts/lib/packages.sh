# require_packages PKG...: installs the Debian packages that are missing, with apt-get when
# this is a Debian machine and we are root (or have sudo). A package of another architecture
# (wine32:i386) first adds that architecture to dpkg, as a new Debian machine has none. When
# one cannot be installed it names it and ends the calling script at once with
# MISSING_PACKAGES_STATUS, so a missing tool stops the run before anything is built with it.
#
# add_architecture ARCH: adds a foreign dpkg architecture (and refreshes the package lists);
# when that cannot be done here it says why and returns non-zero, ending nothing.
# (Sourced, not run.)
MISSING_PACKAGES_STATUS=3

# Set by can_install: the command prefix that runs apt-get and dpkg as root.
APT_SUDO=()

# can_install: whether this machine can install Debian packages; says why not.
can_install() {
  APT_SUDO=()
  if ! command -v apt-get >/dev/null || ! command -v dpkg >/dev/null; then
    echo "this is not a Debian machine (no apt-get or dpkg)"
    return 1
  fi
  [ "$(id -u)" -eq 0 ] && return 0
  if command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    APT_SUDO=(sudo)
    return 0
  fi
  echo "not root and no sudo without a password"
  return 1
}

# The package lists are refreshed once per script, and again after an architecture is added.
PACKAGE_LISTS_FRESH=0
refresh_package_lists() {
  [ "$PACKAGE_LISTS_FRESH" = 1 ] && return 0
  "${APT_SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q >/dev/null 2>&1 ||
    echo "apt-get update failed; trying the package lists at hand" >&2
  PACKAGE_LISTS_FRESH=1
}

add_architecture() {
  local arch=$1 why
  [ "$(dpkg --print-architecture 2>/dev/null)" = "$arch" ] && return 0
  dpkg --print-foreign-architectures 2>/dev/null | grep -qx "$arch" && return 0
  why=$(can_install) || { echo "cannot add the $arch architecture: $why" >&2; return 1; }
  echo "Adding the dpkg architecture $arch"
  "${APT_SUDO[@]}" dpkg --add-architecture "$arch" ||
    { echo "cannot add the $arch architecture: dpkg --add-architecture failed" >&2; return 1; }
  PACKAGE_LISTS_FRESH=0
  refresh_package_lists
}

require_packages() {
  local missing=() pkg why
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if ! why=$(can_install); then
    echo "Missing packages: ${missing[*]} (Debian package names); $why: install them and run again" >&2
    exit "$MISSING_PACKAGES_STATUS"
  fi
  for pkg in "${missing[@]}"; do
    if [[ $pkg == *:* ]]; then add_architecture "${pkg##*:}" || exit "$MISSING_PACKAGES_STATUS"; fi
  done
  echo "Installing ${missing[*]}"
  refresh_package_lists
  # sudo resets the environment: the frontend setting goes through env.
  local apt=("${APT_SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get)
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
