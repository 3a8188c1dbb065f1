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

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/root/images"
echo '<html>player</html>' > "$work/root/player.html"
echo '<html>error</html>' > "$work/root/error.htm"
head -c $((2 * 1024 * 1024)) /dev/urandom > "$work/root/big2m.bin"
truncate -s 2147483647 "$work/root/sparse.bin"

free_port() {
  local port
  for port in $(shuf -i 20000-32000 -n 200); do
    if ! ss -ltnH "sport = :$port" | grep -q . && ! grep -qw "$port" <<<"${taken:-}"; then
      taken="${taken:-} $port"; echo "$port"; return
    fi
  done
  return 1
}

if [ "$use_xvfb" = 1 ]; then
  display=$((100 + RANDOM % 800))
  Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp > "$work/xvfb.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
  export DISPLAY=":$display"
  unset QT_QPA_PLATFORM
else
  export QT_QPA_PLATFORM=offscreen
fi

# start_program DIR PORT NOFILE -> server_pid
start_program() {
  mkdir -p "$1"
  [ "$1" = "$work" ] || ln -sfn "$work/root" "$1/root"
  prlimit --nofile="$3:$3" bash -c "exec $program \"\$@\"" program "$1" "$2" > "$1/program.out" 2>&1 &
  server_pid=$!
  pids+=("$server_pid")
}
# start_nginx DIR PORT NOFILE -> server_pid
start_nginx() {
  mkdir -p "$1/nginx"
  local connections=$(( $3 < 4096 ? $3 : 4096 ))
  cat > "$1/nginx/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $1/nginx/nginx.pid;
error_log $1/nginx/error.log crit;
events { worker_connections $connections; }
http {
  sendfile on;
  access_log off;
  types { image/jpeg jpg; text/html html htm; }
  client_body_temp_path $1/nginx/body;
  proxy_temp_path $1/nginx/proxy;
  fastcgi_temp_path $1/nginx/fastcgi;
  uwsgi_temp_path $1/nginx/uwsgi;
  scgi_temp_path $1/nginx/scgi;
  server {
    listen 127.0.0.1:$2;
    root $work/root;
  }
}
CONF
  prlimit --nofile="$3:$3" nginx -p "$1/nginx" -c "$1/nginx/nginx.conf" 2>"$1/nginx/start.log" &
  server_pid=$!
  pids+=("$server_pid")
}
wait_answering() {
  for _ in $(seq 200); do
    curl -sf -o /dev/null "http://127.0.0.1:$1/images/VelmarixCamImage.jpg" && return 0
    sleep 0.05
  done
  echo "server on $1 not answering" >&2
  return 1
}

# The program that writes the snapshot runs throughout; nginx serves the same files.
program_port=$(free_port)
start_program "$work" "$program_port" 20000
program_pid=$server_pid
nginx_port=$(free_port)
start_nginx "$work" "$nginx_port" 20000
nginx_pid=$server_pid
wait_answering "$program_port"
wait_answering "$nginx_port"

for scenario in $scenarios; do
  echo "== $scenario"
  if [ "$scenario" = fdlimit ]; then
    for name in talvex nginx; do
      port=$(free_port)
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
