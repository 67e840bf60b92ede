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
asan_build_dir=build/asan
build_asan() {
  CC=clang CXX=clang++ configure_and_build "$asan_build_dir" -DCMAKE_BUILD_TYPE=Debug \
    -DQEL_LIBRARY_ONLY=ON -DQEL_SANITIZE=address -DQEL_BUILD_FUZZERS=ON
}
