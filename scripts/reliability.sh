#!/usr/bin/env bash
# The long reliability runs, one after the other: idle connections, a reader
# that never reads, the ten-minute soak of the whole program under wrk, and
# the memory checks under valgrind (the longest: up to two hours). Prints
# each run's figures; exits non-zero when any check fails.
#   scripts/reliability.sh [ctest options, e.g. -R soak]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --test
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVEX_BUILD_TESTS=ON >/dev/null
cmake --build build -j"$(nproc)"
exec ctest --test-dir build -L stress --output-on-failure --verbose "$@"
