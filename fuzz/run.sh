#!/usr/bin/env bash
# Runs every fuzz target for FUZZ_SECONDS (default 60) on a scratch copy of its seed corpus, so
# that the corpus in the repository stays as it is. A finding is kept in the scratch folder and
# ends the run with an error. Usage: fuzz/run.sh [build dir] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/fuzz}")
shift || true
seconds=${FUZZ_SECONDS:-60}
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(receive_engine sentence time_parse zone_file cache_control)
  [ -x "$build/fuzz/fuzz_photo_time" ] && targets+=(photo_time gpx_track)
fi
scratch=${FUZZ_WORK:-$(mktemp -d /tmp/quorvel-fuzz.XXXXXX)}
own_scratch=${FUZZ_WORK:+no}
status=0
for target in "${targets[@]}"; do
  mkdir -p "$scratch/$target/corpus" "$scratch/$target/findings"
  cp fuzz/corpus/"$target"/* "$scratch/$target/corpus/"
  rm -f "$scratch/$target/corpus/"*.py
  echo "== fuzz_$target for ${seconds}s (work folder $scratch/$target)"
  if ! (cd "$scratch/$target/findings" && \
        "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
          -print_final_stats=1 "$scratch/$target/corpus" >"$scratch/$target/log" 2>&1); then
    echo "!! fuzz_$target found a problem; its input and log are in $scratch/$target"
    tail -n 40 "$scratch/$target/log"
    status=1
    continue
  fi
  grep -E "stat::number_of_executed_units|cov:" "$scratch/$target/log" | tail -n 2
done
# A clean run leaves nothing behind unless the work folder was given.
if [ $status -eq 0 ] && [ -z "$own_scratch" ]; then rm -rf "$scratch"; fi
exit $status
