#!/usr/bin/env bash
# Fuzzes every parser target for SECONDS each (default 60), one after the
# other: builds the fuzz preset, then runs each target from its seeds
# (fuzz/corpus/NAME, never written) and what earlier runs found
# (build/fuzz/fuzz/found/NAME), with its dictionary. Inputs that crash are kept as
# build/fuzz/fuzz/finding-NAME-*. Exits non-zero if any target found one.
#   scripts/fuzz.sh [SECONDS] [NAME...]
# The long run is an hour each: scripts/fuzz.sh 3600
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
scripts/install-deps.sh
scripts/build.sh fuzz | tail -n 1
bin=build/fuzz/bin
out=build/fuzz/fuzz
targets=("$@")
if ((${#targets[@]} == 0)); then
  targets=(scene_reader res_reader dialog_template png_reader exr_reader value_parser sample_line editor_request
    model_wire)
fi
status=0
for name in "${targets[@]}"; do
  mkdir -p "$out/found/$name"
  echo "== fuzz $name for ${seconds}s"
  if ! "$bin/fuzz_$name" -max_total_time="$seconds" -print_final_stats=1 -dict="fuzz/$name.dict" \
    -artifact_prefix="$out/finding-$name-" "$out/found/$name" "fuzz/corpus/$name" 2>"$out/$name.log"; then
    status=1
    echo "FINDING in $name: see $out/$name.log and $out/finding-$name-*"
  fi
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' "$out/$name.log" || true
done
exit $status
