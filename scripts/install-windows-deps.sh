#!/usr/bin/env bash
# Installs what the Windows cross build and its tests under Wine need, when any is missing:
# MinGW-w64 with posix threads, GoogleTest sources, Wine, a virtual display and X tools.
set -euo pipefail

packages=(
  cmake make mingw-w64 g++-mingw-w64-x86-64-posix googletest libcli11-dev
  wine64 wine xvfb xauth xdotool imagemagick
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
