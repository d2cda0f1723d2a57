#!/usr/bin/env bash
# The Windows programs cross-built with MinGW-w64 and their tests run under Wine: unit tests, the
# Win32 window on a virtual display, and a download through a Wine COM port from the simulator.
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-$(nproc)}

./scripts/install-windows-deps.sh

# The simulator that serves the Wine COM port runs on this machine.
cmake -S . -B build/windows-host -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_BUILD_TESTS=OFF \
  -DQUORVEL_BUILD_BENCH=OFF -DQUORVEL_BUILD_GUI=OFF >/dev/null
cmake --build build/windows-host -j "$JOBS" --target quorvel-sim

cmake --preset windows -DQUORVEL_HOST_SIM="$PWD/build/windows-host/sim/quorvel-sim" >/dev/null
cmake --build --preset windows -j "$JOBS"
# Wine itself fails a start now and then (seen once in many runs, never reproduced): a failed test
# gets one more try, so only a failure that repeats turns the run red.
ctest --preset windows -j "$JOBS" --repeat until-pass:2
