#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UBSan) and runs
# each for a short while from its seed corpus. QEL_FUZZ_SECONDS sets how long.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${QEL_FUZZ_SECONDS:-30}
dir=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQEL_LIBRARY_ONLY=ON -DQEL_BUILD_FUZZERS=ON -DQEL_SANITIZE=address >"$dir.configure.log" 2>&1 ||
  { cat "$dir.configure.log"; exit 1; }
cmake --build "$dir" -j"$(nproc)" --target scale-reply-fuzzer
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp tests/fuzz/corpus/* "$work/"
"$dir/tests/fuzz/scale-reply-fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$dir/" "$work" 2>&1 | tail -n 25
echo "fuzzing: no crash in ${seconds} s"
