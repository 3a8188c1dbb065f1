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
    ;;
  *)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
