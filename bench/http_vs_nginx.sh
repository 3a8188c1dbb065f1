#!/usr/bin/env bash
# Loads Talvex and nginx (one worker, sendfile on) with the same live
# snapshot, each request on a new connection ("Connection: close"), at 10 and
# 50 connections, in alternating runs: the program itself (headless, the
# 640 x 480 test pattern at five snapshots a second), the bench harness
# (the HTTP classes alone) and nginx on the same web root. Prints request
# rates, server CPU per request (utime + stime from /proc), the ratios to
# nginx, system calls per request (strace -c, when present) and peak RSS.
# wrk needs more CPU per request than either server, so on two cores the
# request rate is client-bound: CPU per request is the figure that decides.
# Everything runs on 127.0.0.1 and is stopped at the end.
#   bench/http_vs_nginx.sh [build-dir]     (default: build)
# Environment:
#   TALVEX_PROGRAM  command that serves "<dir>/root" on "<port>" (both appended),
#                   default "bench/headless_program.sh <build-dir>/bin/Talvex";
#                   "<build-dir>/bench/main_window_bench" with TALVEX_XVFB=1
#                   measures the main window shown in Xvfb instead
#   TALVEX_XVFB     1 runs it on a private Xvfb display, 0 (default) offscreen
#   DURATION        seconds per run (default 5), ROUNDS (default 3)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
duration=${DURATION:-5}
rounds=${ROUNDS:-3}
harness_bin="$build_dir/bench/http_server_bench"
program=${TALVEX_PROGRAM:-bench/headless_program.sh $build_dir/bin/Talvex}
use_xvfb=${TALVEX_XVFB:-0}
[ -x "$harness_bin" ] || { echo "missing $harness_bin: build target http_server_bench" >&2; exit 2; }
for tool in wrk nginx curl; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 2; }
done

source bench/serving_common.sh

program_port=$(free_port); taken="$taken $program_port"
harness_port=$(free_port); taken="$taken $harness_port"
nginx_port=$(free_port); taken="$taken $nginx_port"

use_display "$use_xvfb"
# The program writes the snapshot the others serve too.
bash -c "exec $program \"\$@\"" program "$work" "$program_port" > "$work/program.out" 2>&1 &
program_pid=$!
pids+=("$program_pid")
"$harness_bin" "$work" "$harness_port" > "$work/harness.out" 2>&1 &
harness_pid=$!
pids+=("$harness_pid")

start_nginx "$work" "$nginx_port" 4096
nginx_pid=$server_pid

url_path=/images/VelmarixCamImage.jpg
for port in "$program_port" "$harness_port" "$nginx_port"; do
  wait_answering "$port" || exit 1
done
snapshot_bytes=$(stat -c %s "$work/root$url_path")

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
declare -A cpu_sum rate_sum
failed=0
# run NAME PID PORT CONNECTIONS
run() {
  local name=$1 pid=$2 port=$3 connections=$4 before after out requests errors non2xx rate cpu_us
  before=$(cpu_ticks "$pid")
  out=$(wrk -t1 -c"$connections" -d"${duration}s" -H 'Connection: close' "http://127.0.0.1:$port$url_path")
  after=$(cpu_ticks "$pid")
  rate=$(awk '/^Requests\/sec:/ {print $2}' <<<"$out")
  requests=$(awk '/requests in/ {print $1}' <<<"$out")
  errors=$(awk '/Socket errors:/ {gsub(/,/, ""); print $4 + $6 + $8 + $10}' <<<"$out")
  non2xx=$(awk '/Non-2xx/ {print $NF}' <<<"$out")
  errors=${errors:-0}; non2xx=${non2xx:-0}
  cpu_us=$(awk -v t="$((after - before))" -v hz="$ticks" -v n="$requests" 'BEGIN {printf "%.1f", n ? t * 1e6 / hz / n : 0}')
  printf '  %-8s %3d conns: %8.0f req/s  %6s us CPU/request  errors %s  non-2xx %s\n' \
    "$name" "$connections" "$rate" "$cpu_us" "$errors" "$non2xx"
  cpu_sum[$name$connections]=$(awk -v a="${cpu_sum[$name$connections]:-0}" -v b="$cpu_us" 'BEGIN {print a + b}')
  rate_sum[$name$connections]=$(awk -v a="${rate_sum[$name$connections]:-0}" -v b="$rate" 'BEGIN {print a + b}')
  if [ "$errors" != 0 ] || [ "$non2xx" != 0 ]; then failed=1; fi
}

echo "live ${snapshot_bytes}-byte snapshot, new connection per request, wrk -t1, ${duration}s runs, $rounds alternating rounds"
for round in $(seq "$rounds"); do
  echo "round $round"
  for connections in 10 50; do
    run program "$program_pid" "$program_port" "$connections"
    run harness "$harness_pid" "$harness_port" "$connections"
    run nginx "$nginx_pid" "$nginx_port" "$connections"
  done
done

echo "means over $rounds rounds (CPU ratio target: program <= 0.75 x nginx; rate ratio target >= 1.0)"
for connections in 10 50; do
  for name in program harness; do
    awk -v c="${cpu_sum[$name$connections]}" -v n="${cpu_sum[nginx$connections]}" \
        -v r="${rate_sum[$name$connections]}" -v s="${rate_sum[nginx$connections]}" \
        -v k="$rounds" -v name="$name" -v conns="$connections" \
      'BEGIN {printf "  %-8s %3d conns: %.1f us CPU/request vs nginx %.1f -> CPU ratio %.2f, rate ratio %.2f",
              name, conns, c / k, n / k, c / n, r / s
              met = (c / n <= 0.75 && r / s >= 1.0) ? "met" : "NOT met"
              if (name == "program") printf " (targets %s)", met
              printf "\n"}'
  done
done

# The machine-wide count of TCP segments sent (both ends, on loopback).
out_segments() { awk '/^Tcp:/ {n++; if (n == 2) print $12}' /proc/net/snmp; }
echo "TCP segments per request, both directions (2 s at 10 connections, one server at a time)"
for entry in "program $program_port" "harness $harness_port" "nginx $nginx_port"; do
  read -r name port <<<"$entry"
  before=$(out_segments)
  out=$(wrk -t1 -c10 -d2s -H 'Connection: close' "http://127.0.0.1:$port$url_path")
  after=$(out_segments)
  requests=$(awk '/requests in/ {print $1}' <<<"$out")
  awk -v s="$((after - before))" -v n="$requests" -v name="$name" \
    'BEGIN {printf "  %-8s %.2f segments/request\n", name, n ? s / n : 0}'
done

if command -v strace >/dev/null; then
  echo "system calls per request (strace -c, 2 s at 10 connections; slows the server)"
  for entry in "program $program_pid $program_port" "harness $harness_pid $harness_port" "nginx $nginx_pid $nginx_port"; do
    read -r name pid port <<<"$entry"
    timeout -s INT 4 strace -c -f -p "$pid" -o "$work/strace.$name" 2>/dev/null &
    strace_pid=$!
    sleep 0.5
    out=$(wrk -t1 -c10 -d2s -H 'Connection: close' "http://127.0.0.1:$port$url_path")
    wait "$strace_pid" 2>/dev/null || true
    requests=$(awk '/requests in/ {print $1}' <<<"$out")
    awk -v n="$requests" -v name="$name" '
      /^-----/ {sep++; next}
      sep == 1 && NF >= 5 {c = (NF == 6 ? $4 : $4); calls[$NF] = c; total += c}
      END {
        if (!n) { print "  " name ": no requests"; exit }
        line = ""
        for (c in calls) if (calls[c] / n >= 0.05) line = line sprintf(" %s %.2f", c, calls[c] / n)
        printf "  %-8s %.1f calls/request:%s\n", name, total / n, line
      }' "$work/strace.$name" 2>/dev/null || echo "  $name: strace unavailable"
  done
fi

for entry in "program $program_pid" "harness $harness_pid" "nginx $nginx_pid"; do
  read -r name pid <<<"$entry"
  awk -v name="$name" '/VmHWM/ {printf "%s peak RSS (VmHWM): %.1f MB\n", name, $2 / 1024}' "/proc/$pid/status"
done
if [ "$failed" != 0 ]; then
  echo "FAIL: incomplete responses" >&2
  exit 1
fi
