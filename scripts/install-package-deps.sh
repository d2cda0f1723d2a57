#!/usr/bin/env bash
# Installs what building and checking the packages needs, when any is missing: CPack's helpers for
# the .deb (dpkg-shlibdeps, file) and the checkers the package tests run.
set -euo pipefail

packages=(
  dpkg-dev file lintian desktop-file-utils appstream man-db
)

# shellcheck source=scripts/apt-install-missing.sh
source "$(dirname "$0")/apt-install-missing.sh"
apt_install_missing "${packages[@]}"
