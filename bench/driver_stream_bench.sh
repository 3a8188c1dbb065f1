#!/usr/bin/env bash
# The MJPEG stream side by side with ustreamer on the kernel's vivid driver,
# in the driver test's virtual machine (tests/driver): vivid in YUYV at
# 640x480 and 1280x720 at its highest rate; each server idle for 10 s, then
# read by 1 and by 10 clients for 15 s. Prints new (distinct) frames a second
# per client, server CPU per new frame, resident size, idle CPU, frame age
# from X-Timestamp, and whether Talvex meets its targets. Under emulation
# (TCG): compare within one run, as ratios. About 5 minutes.
#
#   bench/driver_stream_bench.sh BUILD_DIR [SECONDS] [SIZES]
set -euo pipefail

build=$(cd "${1:?usage: driver_stream_bench.sh BUILD_DIR [SECONDS] [SIZES]}" && pwd)
seconds=${2:-15}
sizes=${3:-640x480 1280x720}
here=$(cd "$(dirname "$0")" && pwd)
driver=$here/../tests/driver
[ -x "$build/bin/Talvex" ] || { echo "no $build/bin/Talvex: build the Talvex target first" >&2; exit 1; }
command -v ustreamer >/dev/null || echo "ustreamer is not installed: scripts/setup.sh --test installs it" >&2

prepared=$("$driver/prepare-vm.sh" "$build/driver-vm/cache")
version=$(basename "$prepared")
scratch=$build/driver-vm/bench
rm -rf "$scratch"
mkdir -p "$scratch/xdg"
chmod 700 "$scratch/xdg"
cat > "$scratch/guest.sh" <<GUEST
export BENCH_MODPROBE="modprobe -d $prepared/root -S $version" BENCH_TALVEX="$build/bin/Talvex"
export BENCH_SCRATCH="$scratch" BENCH_SECONDS=$seconds BENCH_IDLE_SECONDS=10 BENCH_SIZES="$sizes"
export QT_QPA_PLATFORM=offscreen
exec /bin/bash "$here/driver_stream_bench_guest.sh" > "$scratch/guest.log" 2>&1
GUEST

# Emulated processors run at whatever the host spares them: a run counts
# only when the host was quiet throughout.
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
start=$(date +%s)
status=0
"$driver/boot-vm.sh" "$prepared" "$scratch/guest.sh" "$scratch" 900 || status=$?
echo "vivid on Debian's kernel $version in QEMU (TCG, 2 vCPUs), $(( $(date +%s) - start )) s;" \
     "readers: $seconds s each, idle 10 s; host load average $load_before before," \
     "$(cut -d' ' -f1-3 /proc/loadavg) after (quiet: below 1 on 2 cores)"
grep -v '^result ' "$scratch/results.txt" 2>/dev/null | sed 's/^/  /' || true
echo
python3 "$here/driver_stream_bench_client.py" summary "$scratch/results.txt"
[ "$status" -eq 0 ] || echo "the guest failed (exit $status): $scratch/guest.log, $scratch/console.log"
exit "$status"
