# Build configurations shared by the test and fuzzing scripts (sourced).

jobs=$(nproc)

# configure_and_build DIR [cmake options...]
configure_and_build() {
  local dir=$1
  shift
  mkdir -p "$(dirname "$dir")"
  cmake -S . -B "$dir" -G Ninja "$@" >"$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j"$jobs"
}

# The library, its tools and tests with AddressSanitizer + UBSan, built with
# clang so that the same build also carries the libFuzzer target.
# Test builds: light optimisation and line tables only. They compile about a
# third faster than -O2 -g and still give readable reports and stack traces.
test_build_flags=(-DCMAKE_BUILD_TYPE=None "-DCMAKE_C_FLAGS=-O1 -g1" "-DCMAKE_CXX_FLAGS=-O1 -g1")
sanitizer_flags=("${test_build_flags[@]}")

# The whole project, as the tests see it (the demo builds build/plain).
plain_build_dir=build/test
build_plain() {
  configure_and_build "$plain_build_dir" "${test_build_flags[@]}"
}

asan_build_dir=build/asan
build_asan() {
  CC=clang CXX=clang++ configure_and_build "$asan_build_dir" "${sanitizer_flags[@]}" \
    -DQEL_LIBRARY_ONLY=ON -DQEL_SANITIZE=address -DQEL_BUILD_FUZZERS=ON
}

tsan_build_dir=build/tsan
build_tsan() {
  configure_and_build "$tsan_build_dir" "${sanitizer_flags[@]}" \
    -DQEL_LIBRARY_ONLY=ON -DQEL_SANITIZE=thread -DQEL_TOOL_TESTS=OFF
}
