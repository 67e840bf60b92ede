#!/usr/bin/env bash
# Sets up, checks the formatting, builds and runs every test: the whole project
# in a plain build, then the library and its tools under AddressSanitizer +
# UndefinedBehaviorSanitizer and under ThreadSanitizer, then a short fuzzing run.
# QEL_QUICK=1 runs only the plain build (for a quick local check).
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh || exit 1
source scripts/build-config.sh

failed=()

# Every C++ file as .clang-format lays it out.
echo "=== formatting"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror || failed+=("formatting")

# The test presets carry each build's sanitizer options.
run_ctest() {  # name, preset, [prefix command...]
  local name=$1 preset=$2
  shift 2
  echo "=== $name tests"
  # Most tests wait on the line's timeouts rather than compute: one more
  # than the cores keeps them busy.
  "$@" ctest --preset "$preset" -j"$((jobs + 1))" || failed+=("$name")
}

if build_plain; then
  run_ctest plain plain
else
  failed+=("plain build")
fi

if [ "${QEL_QUICK:-0}" != 1 ]; then
  if build_asan; then
    run_ctest "asan+ubsan" asan
    echo "=== fuzzing"
    scripts/fuzz.sh || failed+=("fuzzing")
  else
    failed+=("asan build")
  fi
  if build_tsan; then
    # ThreadSanitizer needs the classic address-space layout on recent kernels;
    # a preset cannot start ctest under setarch, so the script does.
    run_ctest tsan tsan setarch "$(uname -m)" -R
  else
    failed+=("tsan build")
  fi
fi

if ((${#failed[@]})); then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "All test runs passed."
