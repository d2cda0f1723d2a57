#!/usr/bin/env bash
# The Win32 track view's map under Wine against a tile server on this machine's 127.0.0.1, and the
# program's refusal of an unknown option.
# Usage: wine_map_test.sh <wine runner> <windows_map_tests.exe> <quorvel.exe>
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work=$(mktemp -d)
trap 'kill "${server_pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT

status=0
"$1" "$3" --tile-ur1 x.dlg 2>"$work/stderr" >/dev/null || status=$?
if [ "$status" -ne 2 ] || ! grep -q "Usage: quorvel" "$work/stderr"; then
  echo "quorvel.exe --tile-ur1 ended with $status, not 2 and a usage line:" && cat "$work/stderr"
  exit 1
fi

python3 "$here/tile_server.py" >"$work/ports" 2>/dev/null &
server_pid=$!
for _ in $(seq 100); do [ -s "$work/ports" ] && break; sleep 0.1; done
read -r port dead_port <"$work/ports"
export QUORVEL_TILE_SERVER="http://127.0.0.1:$port" QUORVEL_DEAD_SERVER="http://127.0.0.1:$dead_port"
export QUORVEL_TILE_CACHE="Z:${work//\//\\}\\cache"
"$here/wine_xvfb_run.sh" "$1" "$2"
