#!/usr/bin/env bash
# Soak run of the whole program: the main window with the 1920 x 1080 test
# pattern at five snapshots a second, loaded by wrk (50 connections,
# "Connection: close") and checked by a validating client, for ten minutes
# (or two with --quick). Everything runs on 127.0.0.1. Prints the figures
# and exits non-zero when a check fails.
#   tests/stress/soak.sh [build-dir] [--quick | --minutes M] [--port P]    (default: build)
set -euo pipefail
cd "$(dirname "$0")/../.."
build_dir=build
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then
  build_dir=$1
  shift
fi
for bin in soak load_client; do
  [ -x "$build_dir/tests/stress/$bin" ] || { echo "missing $build_dir/tests/stress/$bin: build target $bin" >&2; exit 2; }
done
command -v wrk >/dev/null || { echo "missing wrk" >&2; exit 2; }
exec "$build_dir/tests/stress/soak" "$@"
