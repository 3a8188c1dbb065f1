#!/usr/bin/env bash
# Memory checks: the snapshot cycle (320 x 240) 10 000 times and the request
# handler 100 000 times, first natively with the resident-memory check (end
# within 5 % of the figure after the warm-up), then under valgrind memcheck,
# where invalid accesses and definite leaks are errors (Qt's own
# still-reachable blocks are not). Prints each run's figures and valgrind's
# summary; exits non-zero when any run fails.
#   tests/stress/memcheck.sh [build-dir]        (default: build)
#   CYCLES=n REQUESTS=n tests/stress/memcheck.sh   smaller counts
set -euo pipefail
cd "$(dirname "$0")/../.."
build_dir=${1:-build}
cycles=${CYCLES:-10000}
requests=${REQUESTS:-100000}
for bin in memcheck_cycle memcheck_requests; do
  [ -x "$build_dir/tests/stress/$bin" ] || { echo "missing $build_dir/tests/stress/$bin: build target $bin" >&2; exit 2; }
done
command -v valgrind >/dev/null || { echo "missing valgrind" >&2; exit 2; }
export QT_QPA_PLATFORM=offscreen QT_NO_GLIB=1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

run() {
  local title=$1
  shift
  echo "== $title"
  local start=$SECONDS
  if "$@"; then
    echo "   passed in $((SECONDS - start)) s"
  else
    echo "   FAILED after $((SECONDS - start)) s"
    status=1
  fi
}

under_valgrind() {
  local log=$work/$1.log
  shift
  local result=0
  # An hour at most for either run; valgrind makes them about 30 times slower.
  timeout 3600 valgrind --leak-check=full --errors-for-leak-kinds=definite --show-leak-kinds=definite \
    --error-exitcode=1 --num-callers=30 --log-file="$log" "$@" || result=$?
  grep -E "definitely lost|indirectly lost|ERROR SUMMARY" "$log" | sed 's/^==[0-9]*== /   /'
  [ "$result" -eq 0 ] || grep -A30 -E "Invalid|uninitialised|definitely lost in" "$log" | head -60 || true
  return "$result"
}

run "natively: snapshot cycle x $cycles" "$build_dir/tests/stress/memcheck_cycle" --cycles "$cycles" --rss-check
run "natively: request handler x $requests" "$build_dir/tests/stress/memcheck_requests" --requests "$requests" --rss-check
run "valgrind: snapshot cycle x $cycles" under_valgrind cycle "$build_dir/tests/stress/memcheck_cycle" --cycles "$cycles"
run "valgrind: request handler x $requests" under_valgrind requests "$build_dir/tests/stress/memcheck_requests" --requests "$requests"
exit $status
