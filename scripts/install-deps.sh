#!/usr/bin/env bash
# Installs the Debian packages the build, the demo and the tests need, when any is missing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config ninja-build
  qt6-base-dev libgl-dev libudev-dev libcli11-dev libhowardhinnant-date-dev tzdata
  libgtest-dev libgmock-dev libbenchmark-dev
  libxml2-utils gdal-bin libreoffice-calc fonts-liberation locales xvfb xauth python3
  umockdev libumockdev-dev
  clang libclang-rt-14-dev
  help2man librsvg2-bin
  openbox xfwm4 dbus x11-utils xdotool imagemagick
  libexiv2-dev libexpat1-dev libimage-exiftool-perl gpscorrelate exiv2
)

source "$(dirname "$0")/apt-install-missing.sh"
apt_install_missing "${packages[@]}"

# The translation tests also run under a German locale, which must exist.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
