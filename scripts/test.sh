#!/usr/bin/env bash
# Sets up, builds and runs every test: the whole project in a plain build, then
# the library and its tools under AddressSanitizer + UndefinedBehaviorSanitizer
# and under ThreadSanitizer, then a short fuzzing run.
# QEL_QUICK=1 runs only the plain build (for a quick local check).
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh || exit 1
source scripts/build-config.sh

failed=()

run_ctest() {  # name, dir, [prefix command...]
  local name=$1 dir=$2
  shift 2
  echo "=== $name tests"
  # Most tests wait on the line's timeouts rather than compute: one more
  # than the cores keeps them busy.
  "$@" ctest --test-dir "$dir" --output-on-failure -j"$((jobs + 1))" || failed+=("$name")
}

if build_plain; then
  run_ctest plain "$plain_build_dir"
else
  failed+=("plain build")
fi

if [ "${QEL_QUICK:-0}" != 1 ]; then
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
  if build_asan; then
    run_ctest "asan+ubsan" "$asan_build_dir"
    echo "=== fuzzing"
    scripts/fuzz.sh || failed+=("fuzzing")
  else
    failed+=("asan build")
  fi
  if build_tsan; then
    # ThreadSanitizer needs the classic address-space layout on recent kernels.
    run_ctest tsan "$tsan_build_dir" setarch "$(uname -m)" -R
  else
    failed+=("tsan build")
  fi
fi

if ((${#failed[@]})); then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "All test runs passed."
