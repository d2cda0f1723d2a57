#!/usr/bin/env bash
# The main job on the sample log: translate it to KML and CSV and say where the files are.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bin="$root/build/default"
out="$root/out/demo"
mkdir -p "$out"

"$bin/cli/quorvel-cli" info "$root/samples/sample.dlg"
"$bin/cli/quorvel-cli" translate "$root/samples/sample.dlg" --all -o "$out/sample.kml"
"$bin/cli/quorvel-cli" translate "$root/samples/sample.dlg" --all -o "$out/sample.csv"
echo
echo "KML for Google Earth: $out/sample.kml"
echo "CSV for a spreadsheet: $out/sample.csv"
