#!/bin/bash
# Inside the driver test's virtual machine: vivid at each size in YUYV at its
# highest rate, then ustreamer and Talvex in turn, each idle, with 1 and with
# 10 stream readers. One "result ..." line per measurement goes to RESULTS.
# Environment (from driver_stream_bench.sh): BENCH_MODPROBE, BENCH_TALVEX,
# BENCH_SCRATCH, BENCH_SECONDS, BENCH_IDLE_SECONDS, BENCH_SIZES.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
reader="/usr/bin/python3 $here/driver_stream_bench_client.py read"
results=$BENCH_SCRATCH/results.txt
node=/dev/video0
: > "$results"
busybox ip link set lo up
$BENCH_MODPROBE vivid n_devs=1 node_types=0x1 num_inputs=1 input_types=0x0 || exit 90
for i in $(seq 50); do [ -c $node ] && break; sleep 0.1; done
[ -c $node ] || exit 91

note() { echo "$*" | tee -a "$results"; }

# Waits until PORT answers a plain connect (or 90 s pass).
wait_port() {
  for i in $(seq 450); do
    /usr/bin/python3 -c "import socket,sys; socket.create_connection(('127.0.0.1', $1), 1)" 2>/dev/null && return 0
    sleep 0.2
  done
  return 1
}

# Idle for BENCH_IDLE_SECONDS, then 1 and 10 readers (unless IDLE_ONLY).
measure() {
  local server=$1 size=$2 port=$3 pid=$4 idle_only=${5:-} path=${6:-/stream}
  sleep 3  # past the start-up work
  echo "result server=$server size=$size $($reader "$port" 0 "$BENCH_IDLE_SECONDS" "$pid")" >> "$results"
  [ -n "$idle_only" ] && return
  for clients in 1 10; do
    echo "result server=$server size=$size $($reader "$port" "$clients" "$BENCH_SECONDS" "$pid" "$path")" >> "$results"
  done
  note "driver rate while $server ran: $(v4l2-ctl -d $node --get-parm 2>/dev/null | sed -n 's/.*Frames per second: *//p')"
}

stop() {
  kill -TERM "$1" 2>/dev/null
  for i in $(seq 50); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$1" 2>/dev/null
  wait "$1" 2>/dev/null
}

talvex() {  # SIZE STREAM_PORT NAME
  # Its folder on the guest's own memory disk, as a local disk would be: the
  # scratch folder is the host's over 9p, where every snapshot file's write
  # and read-back would be charged to Talvex as the guest's 9p work, a cost
  # the other servers (which write no files) never pay. Its log is copied out.
  local size=$1 stream=$2 name=$3 dir=/tmp/bench/talvex-$3-$1
  rm -rf "$dir"
  mkdir -p "$dir/root/images"
  printf '75\r\n5\r\n"True"\r\n8100\r\n' > "$dir/Settings.ini"
  printf '[Capture]\nSource=%s\nFrameSize=%s\n' "$node" "$size" > "$dir/Talvex.conf"
  XDG_RUNTIME_DIR=$BENCH_SCRATCH/xdg HOME=$dir "$BENCH_TALVEX" --headless --folder "$dir" --stream-port "$stream" \
    >"$dir/out.log" 2>&1 &
  local pid=$!
  if [ "$stream" -eq 0 ]; then
    wait_port 8100 && measure "$name" "$size" 8100 $pid idle
  else
    wait_port "$stream" && measure "$name" "$size" "$stream" $pid
  fi || note "$name did not start at $size: $(tail -n 3 "$dir/out.log")"
  stop $pid
  cp "$dir/out.log" "$BENCH_SCRATCH/$name-$size.log"
}

# Motion as a second yardstick: streaming only (no detection output, no
# files), at the same rate cap and quality.
motion_run() {
  local size=$1 dir=$BENCH_SCRATCH/motion-$1
  mkdir -p "$dir"
  cat > "$dir/motion.conf" <<CONF
daemon off
setup_mode off
log_level 4
target_dir $dir
video_device $node
width ${size%x*}
height ${size#*x}
framerate 30
emulate_motion off
picture_output off
movie_output off
webcontrol_port 0
stream_port 8092
stream_localhost on
stream_quality 75
stream_maxrate 30
CONF
  motion -n -c "$dir/motion.conf" >"$dir/out.log" 2>&1 &
  local pid=$!
  wait_port 8092 && measure motion "$size" 8092 $pid "" / || note "motion did not start at $size"
  stop $pid
}

for size in $BENCH_SIZES; do
  w=${size%x*} h=${size#*x}
  v4l2-ctl -d $node --set-fmt-video=width="$w",height="$h",pixelformat=YUYV -p 30 >/dev/null
  note "vivid $(v4l2-ctl -d $node --get-fmt-video | sed -n 's/.*Width\/Height *: *//p' | tr / x) YUYV," \
       "$(v4l2-ctl -d $node --get-parm | sed -n 's/.*Frames per second: *//p') frames/s"

  if command -v ustreamer >/dev/null; then
    ustreamer -d $node -r "$size" -f 30 -q 75 --host 127.0.0.1 -p 8090 >"$BENCH_SCRATCH/ustreamer-$size.log" 2>&1 &
    pid=$!
    wait_port 8090 && measure ustreamer "$size" 8090 $pid || note "ustreamer did not start at $size"
    stop $pid
  else
    note "ustreamer is not installed (scripts/setup.sh --test installs it)"
  fi
  if command -v motion >/dev/null; then
    motion_run "$size"
  else
    note "motion is not installed (scripts/setup.sh --test installs it)"
  fi
  # The snapshot cycle alone (no stream port), then with the stream.
  talvex "$size" 0 talvex-nostream
  talvex "$size" 8091 talvex
done
exit 0
