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

# The device goes away mid-download: the download ends at once, well inside its 30 s time-out,
# with the records that arrived, and the program does not spin on the failing port.
kill $sim_pid 2>/dev/null || true
wait $sim_pid 2>/dev/null || true
rm -f "$link"
"$sim" --file "$track" --link "$link" --hangup-at 2 >"$work/sim2.out" 2>"$work/sim2.err" &
sim_pid=$!
for _ in $(seq 100); do [ -L "$link" ] && break; sleep 0.1; done
start=$(date +%s)
status=0
timeout 60 "$runner" "$cli" download --port COM7 --output "$work/gone.dlg" --timeout 30 \
  >"$work/cli2.out" 2>"$work/cli2.err" || status=$?
elapsed=$(( $(date +%s) - start ))
cat "$work/cli2.out" "$work/cli2.err"
[ "$status" -eq 1 ] || { echo "a hang-up gave status $status"; exit 1; }
grep -q "went away" "$work/cli2.err" || { echo "the hang-up is not named"; exit 1; }
[ "$elapsed" -lt 20 ] || { echo "the hang-up took ${elapsed} s to be noticed"; exit 1; }
[ "$(stat -c %s "$work/gone.dlg")" -eq 480 ] || { echo "not the two blocks before the hang-up"; exit 1; }
echo "hang-up noticed after ${elapsed} s"

# Paths outside the ANSI code page, and a path that starts with '/', as positional arguments.
export LANG=C.UTF-8
named="$work/trasa-žluťoučký-€.dlg"
cp "$track" "$named"
"$runner" "$cli" info "$named" >"$work/info.out" 2>&1 || { cat "$work/info.out"; exit 1; }
grep -q "Size(Record): 600" "$work/info.out" || { cat "$work/info.out"; exit 1; }
"$runner" "$cli" translate "$named" --all -o "$work/výstup-€.csv" >"$work/tr.out" 2>&1 ||
  { cat "$work/tr.out"; exit 1; }
[ "$(head -c 10 "$work/výstup-€.csv")" = "Local time" ] || { echo "no output under its name"; exit 1; }
echo "non-ASCII paths read and written"
