#!/usr/bin/env bash
# ./talvex.sh run   installs what is missing, builds and starts Talvex
# ./talvex.sh test  installs what is missing, builds and runs every test
set -euo pipefail
cd "$(dirname "$0")"
jobs=$(nproc)

build() {
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build -j"$jobs"
}

case "${1:-}" in
  run)
    scripts/setup.sh
    build
    exec build/bin/Talvex
    ;;
  test)
    scripts/setup.sh --test
    build
    ctest --test-dir build --output-on-failure -j"$jobs"
    # A short run of every fuzz target over its corpus (clang, libFuzzer).
    scripts/fuzz.sh 15
    # The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer;
    # any report fails the run. The virtual machine's driver test ran above.
    cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVEX_SANITIZE=ON >/dev/null
    cmake --build build-asan -j"$jobs"
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    LSAN_OPTIONS=suppressions=$PWD/tests/sanitizers/lsan.supp:print_suppressions=0 \
      ctest --test-dir build-asan --output-on-failure -j"$jobs" -LE driver
    ;;
  *)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
