#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine in the project's own prefix (build/wineprefix, or
# $WINEPREFIX when set), creating the prefix on first use. Used as CMake's cross-compiling emulator.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
export WINEPREFIX="${WINEPREFIX:-$here/../build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# Without network, Wine would hang offering to install Mono and Gecko.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win64
# The prefix counts as ready only once wineboot has finished: a file it writes early (system.reg)
# would let a parallel test start Wine on a half-made prefix.
ready="$WINEPREFIX/.quorvel-ready"
if [ ! -f "$ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  # Parallel test runs share the prefix: one creates it, the others wait.
  (
    flock 9
    if [ ! -f "$ready" ]; then
      wine wineboot --init >/dev/null 2>&1 || true
      wineserver -w || true
      touch "$ready"
    fi
  ) 9>"$WINEPREFIX.lock"
fi
exec wine "$@"
