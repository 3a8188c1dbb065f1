#!/usr/bin/env bash
# Runs the installed-style program itself, headless, over <dir> as its
# working folder: a copy of the executable in <dir> (so <dir>/root is the
# web root it serves and writes), Settings.ini with quality 75, five
# snapshots a second and <port>, and a private configuration choosing the
# test pattern at <width>x<height> with no stream port. Runs until killed
# (SIGTERM closes it as a user's would).
#   bench/headless_program.sh <Talvex> <dir> <port> [width height]
set -euo pipefail
program=$1 dir=$2 port=$3 width=${4:-640} height=${5:-480}
mkdir -p "$dir/root/images" "$dir/config/Talvex"
mkdir -p -m 700 "$dir/run"
cp "$program" "$dir/Talvex"
printf '75\r\n5\r\n"True"\r\n%s\r\n' "$port" > "$dir/Settings.ini"
printf '[Capture]\nSource=testpattern\nFrameSize=%sx%s\n' "$width" "$height" > "$dir/config/Talvex/Talvex.conf"
export XDG_CONFIG_HOME="$dir/config" XDG_DATA_HOME="$dir/data" XDG_RUNTIME_DIR="$dir/run"
exec "$dir/Talvex" --headless
