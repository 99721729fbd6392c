#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each on its
# committed seeds for a bounded number of inputs: a regression check, not a
# fuzzing campaign. Longer runs: build/fuzz/bin/<target> -max_total_time=300 <corpus>.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
runs=${FUZZ_RUNS:-3000}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

declare -A corpus=(
  [platform_profile_fuzz]=""
  [source_text_fuzz]=paper-data/fuzz_corpus/source_text
  [qmd_file_fuzz]=paper-data/fuzz_corpus/qmd_file
  [driver_core_fuzz]=driver-ui/fuzz_corpus
  [driver_merge_fuzz]=driver-ui/fuzz/merge_corpus
  [klm71_resources_fuzz]=""
  [klm71_help_fuzz]=ui/help/fuzz_corpus
  [utility_reply_fuzz]=""
)
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
for target in "${!corpus[@]}"; do
  work=$(mktemp -d)
  seeds=${corpus[$target]}
  [ -n "$seeds" ] && cp -r "$seeds"/. "$work"/
  echo "== $target ($runs runs)"
  build/fuzz/bin/"$target" -runs="$runs" "$work" 2>&1 | tail -n 1
  rm -rf "$work"
done
