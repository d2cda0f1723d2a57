#!/usr/bin/env bash
# The Qt window under real window managers on a virtual display: the main window offers no
# maximise (its size is fixed), the track view opened with Ctrl+T can be maximised, and a raw log
# named on the command line is loaded at start. With a folder given, pictures of both windows as
# openbox frames them are saved there.
# Usage: window_manager_test.sh <quorvel> <raw.dlg> [picture-folder]
set -euo pipefail
program=$1 log=$2 pictures=${3:-}
scratch=$(mktemp -d)
# The user's own settings stay untouched.
export HOME=$scratch XDG_CONFIG_HOME=$scratch/config XDG_RUNTIME_DIR=$scratch
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$scratch"
}
trap cleanup EXIT

wait_for_window() {  # prints the id of the first window whose name starts with $1
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "^$1" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

failures=0
tested=0
for wm in openbox xfwm4; do
  command -v "$wm" >/dev/null || { echo "$wm: not installed, skipped"; continue; }
  display=""
  for n in $(seq 140 180); do [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }; done
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY=$display
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
  if [ "$wm" = xfwm4 ]; then
    dbus-run-session -- xfwm4 --compositor=off >/dev/null 2>&1 &
  else
    "$wm" >/dev/null 2>&1 &
  fi
  pids+=($!)
  sleep 2
  # Tiles from a port of this machine where nothing listens: the track view never reaches out.
  "$program" --tile-url 'http://127.0.0.1:9/{z}/{x}/{y}.png' "$log" >/dev/null 2>&1 &
  app=$!
  pids+=($app)
  main=$(wait_for_window "Vendrimax") || { echo "$wm: the window did not appear"; exit 1; }
  sleep 1
  actions=$(xprop -id "$main" _NET_WM_ALLOWED_ACTIONS)
  # Ctrl+T works only on the loaded file: it opens the view.
  xdotool windowactivate --sync "$main" key ctrl+t
  view=$(wait_for_window "Track - $(basename "$log")") || view=""
  sleep 1
  view_actions=$([ -n "$view" ] && xprop -id "$view" _NET_WM_ALLOWED_ACTIONS || true)
  ((tested += 1))
  if ! grep -q MINIMIZE <<<"$actions" || grep -q MAXIMIZE <<<"$actions"; then
    echo "$wm: the main window's actions are wrong: $actions"
    ((failures += 1))
  fi
  if [ -z "$view" ] || ! grep -q MAXIMIZE_HORZ <<<"$view_actions"; then
    echo "$wm: no track view, or one that cannot be maximised: ${view_actions:-none}"
    ((failures += 1))
  fi
  if [ -n "$pictures" ] && [ "$wm" = openbox ] && [ -n "$view" ]; then
    # The pointer over the track shows a record's readout.
    xdotool mousemove --window "$view" 547 271
    sleep 1
    import -frame -window "$view" "$pictures/track-view.png"
    xdotool windowactivate --sync "$main"
    sleep 1
    import -frame -window "$main" "$pictures/window.png"
    echo "pictures in $pictures"
  fi
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
  echo "$wm: checked"
done
[ "$tested" -gt 0 ] || { echo "no window manager to test under"; exit 77; }
exit "$failures"
