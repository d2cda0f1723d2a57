# Sourced by the install scripts: installs those of the named Debian packages that are missing.
# Sets SUDO for the caller's own privileged steps.
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

apt_install_missing() {
  local missing=() p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
}
