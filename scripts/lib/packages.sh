# require_packages PKG...: installs the Debian packages that are missing, with apt-get when
# this is a Debian machine and we are root (or have sudo); otherwise names them and stops.
require_packages() {
  local missing=() pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null && sudo=sudo
  if command -v apt-get >/dev/null && { [ "$(id -u)" -eq 0 ] || [ -n "$sudo" ]; }; then
    echo "Installing ${missing[*]}"
    $sudo apt-get update -q >/dev/null || true
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null || {
      echo "apt-get could not install: ${missing[*]}" >&2
      return 1
    }
  else
    echo "Please install: ${missing[*]} (Debian package names)" >&2
    return 1
  fi
}
