# Build configurations shared by the test and fuzzing scripts (sourced). The
# configurations themselves live in CMakePresets.json, so that
# `cmake --preset NAME` gives a newcomer the same build as these scripts.
# Test builds use light optimisation and line tables only: they compile about
# a third faster than -O2 -g and still give readable reports and stack traces.

jobs=$(nproc)

# configure_and_build PRESET DIR [cmake options...]
configure_and_build() {
  local preset=$1 dir=$2
  shift 2
  mkdir -p "$(dirname "$dir")"
  cmake --preset "$preset" "$@" >"$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log"; return 1; }
  cmake --build --preset "$preset" -j"$jobs"
}

# The whole project, as the tests see it (the demo builds build/plain).
plain_build_dir=build/test
build_plain() {
  configure_and_build plain "$plain_build_dir"
}

# The library, its tools and tests with AddressSanitizer + UBSan, built with
# clang so that the same build also carries the libFuzzer target.
asan_build_dir=build/asan
build_asan() {
  configure_and_build asan "$asan_build_dir"
}

# The library and its tests with ThreadSanitizer.
tsan_build_dir=build/tsan
build_tsan() {
  configure_and_build tsan "$tsan_build_dir"
}
