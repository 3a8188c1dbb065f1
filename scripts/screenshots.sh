#!/usr/bin/env bash
# Takes the README's pictures: the three windows in a real X server (Xvfb)
# and the player page in headless Chromium, served by a running Talvex.
# Needs a build (./talvex.sh test or run) and: xvfb xdotool imagemagick chromium.
# Also the two device dialogs and the live view.
# Usage: scripts/screenshots.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=docs
work=$(mktemp -d)
display=:77
port=18977
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

cp "$build/bin/Talvex" "$work/" && cp -r root "$work/root" && mkdir -p "$work/root/images"
printf '75\r\n2\r\n"True"\r\n%d\r\n' "$port" > "$work/Settings.ini"
mkdir -p "$work/home/.config/Talvex" "$work/run" && chmod 700 "$work/run"
printf '[Capture]\nSource=testpattern\nFrameSize=640x480\n' > "$work/home/.config/Talvex/Talvex.conf"

Xvfb $display -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
sleep 1
export DISPLAY=$display HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/run
"$work/Talvex" >/dev/null 2>&1 &
sleep 2
begin=$(xdotool search --sync --onlyvisible --name '^Talvex$' | head -1)
import -window "$begin" "$out/begin.png"
xdotool mousemove --window "$begin" 112 224 click 1
sleep 4   # a few snapshot cycles, so the thumbnail and the data rate are there
main=$(xdotool search --sync --onlyvisible --name '^Talvex$' | head -1)
import -window "$main" "$out/main.png"
xdotool mousemove --window "$main" 199 305 click 1
about=$(xdotool search --sync --onlyvisible --name '^About Talvex$' | head -1)
xdotool windowmove "$about" 360 40
sleep 0.5
import -window "$about" "$out/about.png"
xdotool mousemove --window "$about" 211 218 click 1   # its Close
sleep 0.5

# The two dialogs in the skin, and the big live view of the video area.
xdotool mousemove --window "$main" 282 282 click 1
source=$(xdotool search --sync --onlyvisible --name '^Video Source$' | head -1)
sleep 0.5
import -window "$source" "$out/source-dialog.png"
xdotool windowfocus "$source"; xdotool key Escape
xdotool mousemove --window "$main" 282 305 click 1
format=$(xdotool search --sync --onlyvisible --name '^Video Format$' | head -1)
sleep 0.5
import -window "$format" "$out/format-dialog.png"
xdotool windowfocus "$format"; xdotool key Escape
sleep 0.5
xdotool mousemove --window "$main" 100 100 click --repeat 2 --delay 80 1
live=$(xdotool search --sync --onlyvisible --name '^Live view$' | head -1)
sleep 1
import -window "$live" "$out/live-view.png"

# The viewer's side. The DOM after a few seconds shows how many pictures the
# page swapped in; the log shows any console error.
flags=(--headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking
       --disable-component-update --disable-sync --user-data-dir="$work/chromium" --hide-scrollbars)
chromium "${flags[@]}" --window-size=760,620 --virtual-time-budget=4000 \
  --screenshot="$out/player.png" "http://127.0.0.1:$port/" >/dev/null 2>"$work/chromium.log" || true
chromium "${flags[@]}" --virtual-time-budget=4000 --enable-logging=stderr --v=0 --dump-dom \
  "http://127.0.0.1:$port/" >"$work/dom.html" 2>>"$work/chromium.log" || true
echo "live picture in the page: $(grep -o 'VelmarixCamImage.jpg?[0-9-]*' "$work/dom.html" | head -1)"
if grep -q 'CONSOLE' "$work/chromium.log"; then
  echo "console messages:"; grep 'CONSOLE' "$work/chromium.log"
else
  echo "no console messages"
fi
# A turned, captioned picture as viewers get it: a run of its own, headless,
# in a folder of its own, with the picture flags.
mkdir -p "$work/turned"
printf '[Capture]\nSource=testpattern\nFrameSize=640x480\n' > "$work/turned/Talvex.conf"
"$work/Talvex" --headless --folder "$work/turned" --port $((port + 1)) --rotate 90 \
  --caption 'Talvex %Y-%m-%d %H:%M:%S' >/dev/null 2>&1 &
turned=$!
sleep 3
kill "$turned"; wait "$turned" 2>/dev/null || true
convert "$work/turned/root/images/VelmarixCamImage.jpg" "$out/picture-turned.png"

ls -l "$out"/*.png
