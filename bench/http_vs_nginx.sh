#!/usr/bin/env bash
# Loads Talvex's HTTP server and nginx with the same 40 KB JPEG, each request
# on a new connection, and prints request rates, their ratio, server CPU per
# request and Talvex's peak memory. Everything runs on 127.0.0.1 and is
# stopped at the end.
#   bench/http_vs_nginx.sh [build-dir]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
duration=${DURATION:-10}
server_bin="$build_dir/bench/http_server_bench"
[ -x "$server_bin" ] || { echo "missing $server_bin: build target http_server_bench" >&2; exit 2; }
for tool in wrk nginx; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 2; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/root/images" "$work/nginx"
head -c 40000 /dev/urandom > "$work/root/images/VelmarixCamImage.jpg"
echo '<html>player</html>' > "$work/root/player.html"
echo '<html>error</html>' > "$work/root/error.htm"

# Ports the 16-bit port fields can hold and nothing listens on now.
free_port() {
  local port
  for port in $(shuf -i 20000-32000 -n 200); do
    if ! ss -ltnH "sport = :$port" | grep -q . && [ "$port" != "${taken:-}" ]; then
      echo "$port"; return
    fi
  done
  return 1
}
talvex_port=$(free_port)
taken=$talvex_port
nginx_port=$(free_port)

"$server_bin" "$work" "$talvex_port" > "$work/talvex.out" 2>&1 &
talvex_pid=$!
pids+=("$talvex_pid")

cat > "$work/nginx/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 4096; }
http {
  sendfile on;
  access_log off;
  types { image/jpeg jpg; text/html html htm; }
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  server {
    listen 127.0.0.1:$nginx_port;
    root $work/root;
  }
}
CONF
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" 2>"$work/nginx/start.log" &
nginx_pid=$!
pids+=("$nginx_pid")

url_path=/images/VelmarixCamImage.jpg
for port in "$talvex_port" "$nginx_port"; do
  for _ in $(seq 100); do
    curl -sf -o /dev/null "http://127.0.0.1:$port$url_path" && break
    sleep 0.05
  done
  curl -sf -o /dev/null "http://127.0.0.1:$port$url_path" || { echo "server on $port not answering" >&2; cat "$work"/talvex.out "$work"/nginx/*.log >&2; exit 1; }
done
# Both answer with the same bytes.
cmp <(curl -s "http://127.0.0.1:$talvex_port$url_path") "$work/root/images/VelmarixCamImage.jpg"

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

failed=0
# run NAME PID PORT CONNECTIONS -> sets rate, cpu_us
run() {
  local name=$1 pid=$2 port=$3 connections=$4 before after out requests errors non2xx
  before=$(cpu_ticks "$pid")
  out=$(wrk -t1 -c"$connections" -d"${duration}s" -H 'Connection: close' "http://127.0.0.1:$port$url_path")
  after=$(cpu_ticks "$pid")
  rate=$(awk '/^Requests\/sec:/ {print $2}' <<<"$out")
  requests=$(awk '/requests in/ {print $1}' <<<"$out")
  errors=$(awk '/Socket errors:/ {gsub(/,/, ""); print $4 + $6 + $8 + $10}' <<<"$out")
  non2xx=$(awk '/Non-2xx/ {print $NF}' <<<"$out")
  errors=${errors:-0}; non2xx=${non2xx:-0}
  cpu_us=$(awk -v t="$((after - before))" -v hz="$ticks" -v n="$requests" 'BEGIN {printf "%.1f", n ? t * 1e6 / hz / n : 0}')
  printf '%-7s %3d conns: %10.0f req/s  %7s us CPU/request  errors %s  non-2xx %s\n' \
    "$name" "$connections" "$rate" "$cpu_us" "$errors" "$non2xx"
  if [ "$errors" != 0 ] || [ "$non2xx" != 0 ]; then failed=1; fi
}

echo "40000-byte JPEG, new connection per request, wrk -t1 for ${duration}s each"
for connections in 10 50; do
  run talvex "$talvex_pid" "$talvex_port" "$connections"; talvex_rate=$rate
  run nginx "$nginx_pid" "$nginx_port" "$connections"; nginx_rate=$rate
  awk -v a="$talvex_rate" -v b="$nginx_rate" -v c="$connections" \
    'BEGIN {printf "ratio   %3d conns: talvex/nginx = %.2f\n", c, a / b}'
done
awk '/VmHWM/ {printf "talvex peak RSS (VmHWM): %.1f MB\n", $2 / 1024}' "/proc/$talvex_pid/status"
if [ "$failed" != 0 ]; then
  echo "FAIL: incomplete responses" >&2
  exit 1
fi
