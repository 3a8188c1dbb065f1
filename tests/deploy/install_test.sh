#!/usr/bin/env bash
# cmake --install into a scratch prefix: the expected files, then the
# installed program, started from that read-only prefix, working from
# $XDG_DATA_HOME/Talvex. Usage: install_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1
build_dir=$2
. "$source_dir/tests/deploy/lib.sh"

prefix=$scratch/prefix
cmake --install "$build_dir" --prefix "$prefix" >"$scratch/install.log" || { cat "$scratch/install.log"; fail "install failed"; }
expected=(
  bin/Talvex
  share/applications/talvex.desktop
  share/icons/hicolor/scalable/apps/talvex.svg
  share/man/man1/Talvex.1.gz bin/talvex
  lib/systemd/user/talvex.service
  lib/systemd/user/talvex@.service
  share/talvex/root/player.html
  share/talvex/root/error.htm
  share/talvex/root/images/.keep
)
for size in 16 24 32 48 64 128 256; do expected+=("share/icons/hicolor/${size}x${size}/apps/talvex.png"); done
for file in "${expected[@]}"; do
  [ -f "$prefix/$file" ] || fail "not installed: $file"
done
[ -x "$prefix/bin/Talvex" ] || fail "the program is not executable"
# The PNGs are the sizes their folders say (width and height from the header).
for size in 16 48 256; do
  dims=$(od -An -tu1 -j16 -N8 "$prefix/share/icons/hicolor/${size}x${size}/apps/talvex.png" | awk '{print $3*256+$4 "x" $7*256+$8}')
  [ "$dims" = "${size}x${size}" ] || fail "icon of ${size}x${size} is $dims"
done
grep -qx "Exec=$prefix/bin/Talvex" "$prefix/share/applications/talvex.desktop" || fail "desktop entry's Exec"
grep -qx "Icon=talvex" "$prefix/share/applications/talvex.desktop" || fail "desktop entry's Icon"
grep -qx "ExecStart=$prefix/bin/Talvex --headless" "$prefix/lib/systemd/user/talvex.service" || fail "unit's ExecStart"
grep -qx "Restart=on-failure" "$prefix/lib/systemd/user/talvex.service" || fail "unit's Restart"
grep -qx "ExecStart=$prefix/bin/Talvex --headless --folder %h/.local/share/Talvex/%i" \
  "$prefix/lib/systemd/user/talvex@.service" || fail "template unit's ExecStart"
grep -qx 'ExecReload=kill -HUP $MAINPID' "$prefix/lib/systemd/user/talvex@.service" || fail "template unit's ExecReload"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/talvex.desktop" || fail "desktop entry invalid"
fi

# Read-only for everyone. (As root the folder stays writable; the installed
# sample root beside bin/ chooses the data folder all the same.)
chmod -R a-w "$prefix"
data=$scratch/data
port=$(free_port)
mkdir -p "$data/Talvex" "$scratch/home/runtime"
chmod 700 "$scratch/home/runtime"
printf '75\r\n2\r\n"True"\r\n%s\r\n' "$port" >"$data/Talvex/Settings.ini"
env -u DISPLAY -u WAYLAND_DISPLAY HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/home/runtime" \
  XDG_DATA_HOME="$data" "$prefix/bin/Talvex" --headless 2>"$scratch/talvex.log" &
talvex_pid=$!
pids+=("$talvex_pid")
for _ in $(seq 150); do grep -q "Talvex: serving" "$scratch/talvex.log" && break; sleep 0.1; done
grep -q "Talvex: serving http://.*:$port/" "$scratch/talvex.log" || { cat "$scratch/talvex.log"; fail "not serving"; }
grep -q "working folder $data/Talvex" "$scratch/talvex.log" || fail "working folder not reported"
cmp -s "$data/Talvex/root/player.html" "$source_dir/root/player.html" || fail "sample root not copied"
curl -sf "http://127.0.0.1:$port/images/VelmarixCamImage.jpg?1" -o "$scratch/snap.jpg" || fail "no snapshot"
[ "$(head -c 2 "$scratch/snap.jpg" | od -An -tx1 | tr -d ' ')" = "ffd8" ] || fail "snapshot is not a JPEG"
[ -f "$data/Talvex/root/images/VelmarixCamImage.jpg" ] || fail "snapshot not in the data folder"
stop_talvex
[ "$(head -n1 "$data/Talvex/Settings.ini")" = $'75\r' ] || fail "settings not written"
leftovers=$(find "$prefix" -newer "$scratch/install.log" -type f | wc -l)
[ "$leftovers" -eq 0 ] || fail "the run wrote into the prefix"
chmod -R u+w "$prefix"
echo "install: ok"
