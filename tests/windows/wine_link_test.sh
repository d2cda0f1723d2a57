#!/usr/bin/env bash
# The Win32 serial code against the simulated logger: a Wine COM port is a symbolic link to the
# simulator's pseudo-terminal, and quorvel-cli.exe downloads the whole track through it.
# Usage: wine_link_test.sh <wine runner> <quorvel-cli.exe> <host quorvel-sim> <track.dlg> <work dir>
set -euo pipefail
runner=$1 cli=$2 sim=$3 track=$4 work=$5
here="$(cd "$(dirname "$0")" && pwd)"
export WINEPREFIX="${WINEPREFIX:-$here/../../build/wineprefix}"

"$runner" cmd /c exit  # makes the prefix on first use
rm -rf "$work" && mkdir -p "$work"
port=com7
link="$WINEPREFIX/dosdevices/$port"
rm -f "$link"

"$sim" --file "$track" --link "$link" >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null || true; rm -f "$link"' EXIT
for _ in $(seq 100); do [ -L "$link" ] && break; sleep 0.1; done
[ -L "$link" ] || { echo "the simulator made no port"; cat "$work/sim.err"; exit 1; }

status=0
timeout 120 "$runner" "$cli" download --port COM7 --output "$work/track.dlg" \
  >"$work/cli.out" 2>"$work/cli.err" || status=$?
cat "$work/cli.out" "$work/cli.err"
[ "$status" -eq 0 ] || { echo "download failed with status $status"; exit 1; }
cmp "$track" "$work/track.dlg"
echo "downloaded $(stat -c %s "$work/track.dlg") bytes, equal to the simulator's memory"
