#!/usr/bin/env bash
# The main job end to end: a simulated logger holding the sample log on a pseudo-terminal, its
# memory downloaded over the serial link, then translated to KML and CSV.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bin="${QUORVEL_BIN:-$root/build/default}"
out="$root/out/demo"
mkdir -p "$out"

sim_out="$(mktemp)"
"$bin/sim/quorvel-sim" --file "$root/samples/sample.dlg" --baud 115200 >"$sim_out" &
sim_pid=$!
stop_sim() {
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  rm -f "$sim_out"
}
trap stop_sim EXIT

port=""
for _ in $(seq 50); do
  port="$(head -n 1 "$sim_out")"
  [ -n "$port" ] && break
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "demo: the simulator did not start" >&2
  exit 1
fi

echo "Simulated logger on $port"
"$bin/cli/quorvel-cli" config get --port "$port"
"$bin/cli/quorvel-cli" download --port "$port" -o "$out/download.dlg"
"$bin/cli/quorvel-cli" info "$out/download.dlg"
"$bin/cli/quorvel-cli" translate "$out/download.dlg" --all -o "$out/download.kml"
"$bin/cli/quorvel-cli" translate "$out/download.dlg" --all -o "$out/download.csv"
echo
echo "Raw log from the logger: $out/download.dlg"
echo "KML for Google Earth:    $out/download.kml"
echo "CSV for a spreadsheet:   $out/download.csv"
