#!/usr/bin/env bash
# Runs the libFuzzer target on the scale's replies for a short while from its
# seed corpus (building it first if needed). QEL_FUZZ_SECONDS sets how long.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/build-config.sh
seconds=${QEL_FUZZ_SECONDS:-20}
fuzzer="$asan_build_dir/tests/fuzz/scale-reply-fuzzer"
[ -x "$fuzzer" ] || build_asan >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp tests/fuzz/corpus/* "$work/"
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$asan_build_dir/" "$work" >"$work/fuzz.log" 2>&1 ||
  { tail -n 60 "$work/fuzz.log"; echo "fuzzing found a failure"; exit 1; }
grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec)' "$work/fuzz.log" || true
echo "fuzzing: no failure in ${seconds} s"
