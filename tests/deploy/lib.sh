# Shared by the deployment tests: a scratch folder, free loopback ports and a
# headless Talvex in a copied program folder. Everything stays on 127.0.0.1.

scratch=$(mktemp -d /tmp/talvex-deploy.XXXXXX)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  [ -f "$scratch/nginx.pid" ] && kill "$(cat "$scratch/nginx.pid")" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# A port nothing listens on, within the 16-bit signed range Talvex's port holds.
free_port() {
  local port
  for _ in $(seq 100); do
    port=$((20000 + RANDOM % 12000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return
    fi
  done
  fail "no free port"
}

# start_talvex PROGRAM FOLDER PORT RATE [OPTION...]: a headless run in FOLDER
# (made portable: the program and a web root side by side); waits for its
# address.
start_talvex() {
  local program=$1 folder=$2 port=$3 rate=$4
  shift 4
  mkdir -p "$folder/home/runtime"
  chmod 700 "$folder/home/runtime"
  printf '75\r\n%s\r\n"True"\r\n%s\r\n' "$rate" "$port" >"$folder/Settings.ini"
  env -u DISPLAY -u WAYLAND_DISPLAY HOME="$folder/home" XDG_RUNTIME_DIR="$folder/home/runtime" \
    "$program" --headless "$@" 2>"$folder/talvex.log" &
  talvex_pid=$!
  pids+=("$talvex_pid")
  for _ in $(seq 150); do
    grep -q "Talvex: serving http://" "$folder/talvex.log" && return 0
    kill -0 "$talvex_pid" 2>/dev/null || break
    sleep 0.1
  done
  cat "$folder/talvex.log" >&2
  fail "Talvex did not start serving"
}

stop_talvex() {
  kill -TERM "$talvex_pid"
  local code=0
  wait "$talvex_pid" || code=$?
  [ "$code" -eq 0 ] || fail "Talvex ended with $code after SIGTERM"
}
