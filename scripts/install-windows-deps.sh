#!/usr/bin/env bash
# Installs what the Windows cross build and its tests under Wine need, when any is missing:
# MinGW-w64 with posix threads, GoogleTest sources, Wine, a virtual display and X tools, and NSIS
# for the installer; then the photo metadata library built for MinGW from Debian's sources (with
# what that build needs, and exiftool, which reads the photos back in the tests).
set -euo pipefail

packages=(
  cmake make mingw-w64 g++-mingw-w64-x86-64-posix googletest libcli11-dev
  wine64 wine xvfb xauth xdotool imagemagick nsis python3
  libz-mingw-w64-dev curl ca-certificates patch xz-utils libimage-exiftool-perl
)

source "$(dirname "$0")/apt-install-missing.sh"
apt_install_missing "${packages[@]}"
"$(dirname "$0")/build-windows-exiv2.sh"
