#!/usr/bin/env bash
# Runs the benchmarks of the default build.
set -euo pipefail
bin="$(cd "$(dirname "$0")/.." && pwd)/build/default/bench"
"$bin/translate/translate_bench" "$@"
for extra in "$bin"/*/run-bench.sh; do
  [ -x "$extra" ] && "$extra"
done
