#!/usr/bin/env bash
# Runs every fuzz target for SECONDS each (default 30), starting from its
# inputs in fuzz/corpus/<target>/. New inputs go to a scratch corpus, never
# into the repository. Exits non-zero on the first target that finds a fault,
# leaving the crashing input and the log in the scratch folder.
set -uo pipefail
cd "$(dirname "$0")/.."
top=$PWD
BUILD=${BUILD:-build-fuzz}
SECONDS_EACH=${1:-${FUZZ_SECONDS:-30}}
TARGETS=${FUZZ_TARGETS:-"fuzz_intake fuzz_romaji_table fuzz_romaji_text fuzz_get_chain fuzz_lookup fuzz_convert"}
# The server's target, where it was built (cpp-httplib found).
if [ -z "${FUZZ_TARGETS:-}" ] && [ -x "$BUILD/fuzz/fuzz_serve" ]; then TARGETS="$TARGETS fuzz_serve"; fi
work=$(mktemp -d /tmp/dodevuz-fuzz-run-XXXXXX)
for target in $TARGETS; do
  mkdir -p "$work/$target"
  if [ -d "fuzz/corpus/$target" ]; then cp -r "fuzz/corpus/$target/." "$work/$target/"; fi
  echo "== $target: ${SECONDS_EACH}s"
  # The targets work in a scratch directory of their own, so a crashing
  # input is written by its full path.
  (cd "$work" && "$top/$BUILD/fuzz/$target" -max_total_time="$SECONDS_EACH" -max_len=65536 \
    -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/$target-" \
    "$work/$target" >"$work/$target.log" 2>&1)
  status=$?
  grep -E 'stat::number_of_executed_units|stat::new_units_added' "$work/$target.log" || true
  if [ $status -ne 0 ]; then
    grep -E -A30 'ERROR|SUMMARY|deadly signal' "$work/$target.log" | head -60
    echo "$target failed: log and input in $work"
    exit 1
  fi
done
rm -rf "$work"
