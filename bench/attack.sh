#!/usr/bin/env bash
# Runs attack_bench's scenarios against Talvex (the program itself, headless,
# as in http_vs_nginx.sh) and nginx (one worker) over the same web root, one after
# the other, and prints what honest viewers got meanwhile. Targets: viewers
# >= 99 % at every churn delay; peak RSS < 64 MB with 500 never-reading
# clients; >= 99 % and p95 < 50 ms with the sparse-file loop, snapshot rate
# unchanged; answered again within 2 s at a 64-descriptor limit.
# Everything runs on 127.0.0.1 and is stopped at the end.
#   bench/attack.sh [build-dir] [scenario ...]   (default: all four)
# Environment: TALVEX_PROGRAM, TALVEX_XVFB as for http_vs_nginx.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
shift || true
scenarios=${*:-churn readers sparse fdlimit}
attack="$build_dir/bench/attack_bench"
program=${TALVEX_PROGRAM:-bench/headless_program.sh $build_dir/bin/Talvex}
use_xvfb=${TALVEX_XVFB:-0}
[ -x "$attack" ] || { echo "missing $attack: build target attack_bench" >&2; exit 2; }
command -v nginx >/dev/null || { echo "missing nginx" >&2; exit 2; }

source bench/serving_common.sh
head -c $((2 * 1024 * 1024)) /dev/urandom > "$work/root/big2m.bin"
truncate -s 2147483647 "$work/root/sparse.bin"

use_display "$use_xvfb"

# start_program DIR PORT NOFILE -> server_pid
start_program() {
  mkdir -p "$1"
  [ "$1" = "$work" ] || ln -sfn "$work/root" "$1/root"
  prlimit --nofile="$3:$3" bash -c "exec $program \"\$@\"" program "$1" "$2" > "$1/program.out" 2>&1 &
  server_pid=$!
  pids+=("$server_pid")
}
# The program that writes the snapshot runs throughout; nginx serves the same files.
program_port=$(free_port); taken="$taken $program_port"
start_program "$work" "$program_port" 20000
program_pid=$server_pid
nginx_port=$(free_port); taken="$taken $nginx_port"
start_nginx "$work" "$nginx_port" 20000
nginx_pid=$server_pid
wait_answering "$program_port"
wait_answering "$nginx_port"

for scenario in $scenarios; do
  echo "== $scenario"
  if [ "$scenario" = fdlimit ]; then
    for name in talvex nginx; do
      port=$(free_port); taken="$taken $port"
      if [ "$name" = talvex ]; then start_program "$work/limited" "$port" 64; else start_nginx "$work/limited" "$port" 64; fi
      wait_answering "$port"
      echo " $name (RLIMIT_NOFILE 64)"
      "$attack" "$port" "$server_pid" fdlimit
      kill "$server_pid"; wait "$server_pid" 2>/dev/null || true
    done
    continue
  fi
  echo " talvex"
  "$attack" "$program_port" "$program_pid" "$scenario" "$work/root/images"
  echo " nginx"
  "$attack" "$nginx_port" "$nginx_pid" "$scenario" "$work/root/images"
done
