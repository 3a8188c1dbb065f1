#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each over
# its seed corpus for N seconds (first argument, default 20). Prints one line
# per target and fails on any finding; the input that caused it is kept in
# build-fuzz/fuzz/findings/. The repository corpus is only read: inputs found
# during the run go to a scratch directory that is removed afterwards.
set -euo pipefail

seconds=${1:-20}
case "$seconds" in
  '' | *[!0-9]*) echo "usage: $0 [seconds per target]" >&2; exit 2 ;;
esac

source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir="$source_dir/build-fuzz"
corpus_dir="$source_dir/tests/fuzz/corpus"
findings="$build_dir/fuzz/findings"
targets=(request_path settings_reader bitmap_reader)

log=$(mktemp)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch" "$log"' EXIT

if ! CC=clang CXX=clang++ cmake -S "$source_dir" -B "$build_dir" -DTALVEX_FUZZ=ON \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$log" 2>&1 \
   || ! cmake --build "$build_dir" --target talvex_fuzz_targets -j2 >>"$log" 2>&1; then
  tail -n 40 "$log"
  echo "fuzz: the fuzz targets did not build" >&2
  exit 1
fi
if ! grep -q '^CMAKE_CXX_COMPILER:.*clang' "$build_dir/CMakeCache.txt"; then
  echo "fuzz: $build_dir was configured without clang; remove it and run again" >&2
  exit 1
fi

mkdir -p "$findings"
status=0
for target in "${targets[@]}"; do
  mkdir -p "$scratch/$target"
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$findings/$target-")
  if [ -f "$source_dir/tests/fuzz/$target.dict" ]; then
    options+=(-dict="$source_dir/tests/fuzz/$target.dict")
  fi
  if "$build_dir/fuzz/${target}_fuzz" "${options[@]}" "$scratch/$target" "$corpus_dir/$target" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    coverage=$(grep -o 'DONE *cov: [0-9]*' "$log" | grep -o '[0-9]*$' || true)
    echo "$target: ${runs:-?} runs in ${seconds}s, coverage ${coverage:-?} edges, no finding"
  else
    grep -E 'ERROR|SUMMARY|check failed|Test unit written' "$log" | head -n 20 || tail -n 40 "$log"
    echo "$target: FINDING (input kept in $findings)"
    status=1
  fi
done
exit "$status"
