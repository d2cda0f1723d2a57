#!/usr/bin/env bash
# The pictures of the README: the window with the sample log loaded and its track view, as openbox
# frames the Qt program on a virtual display, and the Windows program under Wine.
# Usage: scripts/window-pictures.sh [folder]   (default docs/; needs build/default and build/windows)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath "${1:-docs}")
log=$PWD/samples/sample.dlg

tests/qt/window_manager_test.sh build/default/app/qt/quorvel "$log" "$out"

export WINEPREFIX=$PWD/build/wineprefix
wine cmd /c exit >/dev/null 2>&1
# Without a window manager Wine draws the title bar and frame itself.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d Y /f >/dev/null
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
wineserver -w
display=""
for n in $(seq 121 139); do [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }; done
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
trap 'kill $xvfb 2>/dev/null || true; wineserver -k 2>/dev/null || true' EXIT
sleep 1
# The user's settings of the prefix would change the picture: none are kept between runs here.
rm -f "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Quorvel/quorvel.ini
wine build/windows/app/win32/quorvel.exe "Z:${log//\//\\}" >/dev/null 2>&1 &
main=""
for _ in $(seq 600); do
  main=$(xdotool search --name "^Vendrimax QM-900" 2>/dev/null | head -1 || true)
  [ -n "$main" ] && break
  sleep 0.1
done
[ -n "$main" ] || { echo "the Windows window did not appear"; exit 1; }
sleep 2
import -window "$main" "$out/window-wine.png"
xdotool windowfocus "$main" key ctrl+t
view=""
for _ in $(seq 100); do
  view=$(xdotool search --name "^Track - sample.dlg" 2>/dev/null | head -1 || true)
  [ -n "$view" ] && break
  sleep 0.1
done
[ -n "$view" ] || { echo "the Windows track view did not appear"; exit 1; }
xdotool mousemove --window "$view" 490 182
sleep 2
import -window "$view" "$out/track-view-wine.png"
echo "pictures in $out"
