# Shared by the serving benchmarks (sourced, not run): a scratch folder with a
# small web root, stopped servers at exit, free ports, an optional Xvfb and
# an nginx with one worker serving the same root. Everything on 127.0.0.1.

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

# A port nothing listens on and not in $taken; the caller adds it to $taken
# (this runs in a subshell, so it cannot).
taken=""
free_port() {
  local port
  for port in $(shuf -i 20000-32000 -n 200); do
    if ! ss -ltnH "sport = :$port" | grep -q . && ! grep -qw "$port" <<<"$taken"; then
      echo "$port"; return
    fi
  done
  return 1
}

# use_display 1|0: a private Xvfb display for the program, or Qt's offscreen platform.
use_display() {
  if [ "$1" = 1 ]; then
    command -v Xvfb >/dev/null || { echo "missing Xvfb (or set TALVEX_XVFB=0)" >&2; exit 2; }
    local display=$((100 + RANDOM % 800))
    Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp > "$work/xvfb.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
    export DISPLAY=":$display"
    unset QT_QPA_PLATFORM
  else
    export QT_QPA_PLATFORM=offscreen
  fi
}

# start_nginx DIR PORT NOFILE: one worker, sendfile on, serving $work/root;
# sets server_pid.
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

# wait_answering PORT: until the snapshot is served there (10 s at most).
wait_answering() {
  for _ in $(seq 200); do
    curl -sf -o /dev/null "http://127.0.0.1:$1/images/VelmarixCamImage.jpg" && return 0
    sleep 0.05
  done
  echo "server on $1 not answering" >&2
  cat "$work"/*.out "$work"/*/program.out "$work"/nginx/*.log "$work"/*/nginx/*.log 2>/dev/null >&2
  return 1
}
