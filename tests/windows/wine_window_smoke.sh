#!/usr/bin/env bash
# Starts quorvel.exe under Wine on a virtual X display, finds its window by title, optionally
# saves a picture of it, closes it through its close command and checks that the program ends.
# Usage: wine_window_smoke.sh <wine runner> <quorvel.exe> <close_window.exe> [picture.png]
set -euo pipefail
runner=$1 program=$2 closer=$3 picture=${4:-}
title="Vendrimax QM-900 Ostrello v0.3(1003231)"
here="$(cd "$(dirname "$0")" && pwd)"
export WINEPREFIX="${WINEPREFIX:-$here/../../build/wineprefix}"

"$runner" cmd /c exit  # makes the prefix on first use
# Without a window manager Wine draws the title bar and frame itself.
"$runner" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d Y /f >/dev/null
"$runner" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
# Wine's desktop process belongs to the display it started on: let the earlier session end.
wineserver -w

display=""
for n in $(seq 91 120); do
  if [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "no free X display"; exit 1; }
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
cleanup() {
  [ -n "${app_pid:-}" ] && kill "$app_pid" 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

"$runner" "$program" &
app_pid=$!

if [ -n "$picture" ]; then
  # Wait for the window, let it paint, take the picture.
  "$runner" "$closer" "__no_such_window__" 0 >/dev/null 2>&1 || true
  for _ in $(seq 300); do
    id=$(xdotool search --name "^Vendrimax QM-900" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && break
    sleep 0.1
  done
  [ -n "${id:-}" ] || { echo "the window did not appear"; exit 1; }
  sleep 2
  import -display "$display" -window "$id" "$picture"
  echo "picture: $picture"
fi

"$runner" "$closer" "$title" 60
for _ in $(seq 100); do
  kill -0 "$app_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$app_pid" 2>/dev/null; then
  echo "quorvel.exe did not end after its close command"
  exit 1
fi
wait "$app_pid"
app_pid=""
echo "quorvel.exe ended after its close command"
