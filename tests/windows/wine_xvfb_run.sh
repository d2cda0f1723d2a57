#!/usr/bin/env bash
# Runs a Windows program under Wine on a fresh virtual display. Wine's desktop process belongs to
# the display it started on, so the prefix's earlier Wine session must have ended first.
# Usage: wine_xvfb_run.sh <wine runner> <program> [arguments...]
set -euo pipefail
runner=$1
shift
here="$(cd "$(dirname "$0")" && pwd)"
export WINEPREFIX="${WINEPREFIX:-$here/../../build/wineprefix}"
"$runner" cmd /c exit  # makes the prefix on first use
wineserver -w
exec xvfb-run -a -s "-screen 0 1024x768x24" "$runner" "$@"
