#!/usr/bin/env bash
# ./talvex.sh run   installs what is missing, builds the program and starts it
# ./talvex.sh test  installs what is missing, builds everything and runs every test
# ./talvex.sh install [PREFIX]  builds and installs for this user (default ~/.local)
set -euo pipefail
cd "$(dirname "$0")"
jobs=$(nproc)

configure() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
}

case "${1:-}" in
  run)
    scripts/setup.sh
    configure build -DTALVEX_BUILD_TESTS=OFF -DTALVEX_BUILD_BENCHMARKS=OFF
    cmake --build build -j"$jobs" --target Talvex
    shift
    exec build/bin/Talvex "$@"
    ;;
  install)
    # Per user: the program in PREFIX/bin, the menu entry, icon, man page,
    # the sample web root and a systemd user unit for the headless mode.
    prefix=${2:-$HOME/.local}
    scripts/setup.sh
    configure build-install -DTALVEX_BUILD_TESTS=OFF -DTALVEX_BUILD_BENCHMARKS=OFF \
      -DCMAKE_INSTALL_PREFIX="$prefix" -DTALVEX_SYSTEMD_USER_DIR=share/systemd/user
    cmake --build build-install -j"$jobs" --target Talvex talvex_icons talvex_docs
    cmake --install build-install
    echo "Installed into $prefix. Start it from the menu, as '$prefix/bin/Talvex', or as a"
    echo "service: systemctl --user daemon-reload && systemctl --user enable --now talvex"
    ;;
  test)
    scripts/setup.sh --test
    scripts/check-layers.sh
    configure build -DTALVEX_BUILD_TESTS=ON -DTALVEX_BUILD_BENCHMARKS=ON
    cmake --build build -j"$jobs"
    # The stress runs (soak, memcheck, idle and slow clients) take long and
    # have a script of their own: scripts/reliability.sh.
    ctest --test-dir build --output-on-failure -j"$jobs" -LE stress
    # A short run of every fuzz target over its corpus (clang, libFuzzer).
    scripts/fuzz.sh 15
    # The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer;
    # any report fails the run. The virtual machine's driver test ran above.
    configure build-asan -DTALVEX_SANITIZE=ON -DTALVEX_BUILD_TESTS=ON -DTALVEX_BUILD_BENCHMARKS=OFF
    cmake --build build-asan -j"$jobs"
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    LSAN_OPTIONS=suppressions=$PWD/tests/sanitizers/lsan.supp:print_suppressions=0 \
      ctest --test-dir build-asan --output-on-failure -j"$jobs" -LE "stress|driver"
    ;;
  *)
    echo "usage: $0 run|test|install [PREFIX]" >&2
    exit 2
    ;;
esac
