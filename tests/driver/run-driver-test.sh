#!/usr/bin/env bash
# The capture code against a real V4L2 driver: boots Debian's kernel in a
# QEMU virtual machine, loads vivid as one webcam-like input and runs the
# driver test binary inside it against /dev/video0 (the capture code alone,
# the whole program under Xvfb serving snapshots, then headless while vivid
# is unloaded and loaded again). Prints a summary of what the driver offered
# and how each fault was recovered from.
#
#   run-driver-test.sh WORK_DIR TEST_BINARY
#
# TALVEX_DRIVER_FILTER, when set, is the binary's --gtest_filter (one case
# while working on it).
# Exit 77 (skipped) with one line on stderr when this machine cannot run it.
set -euo pipefail

work=${1:?usage: run-driver-test.sh WORK_DIR TEST_BINARY}
binary=${2:?usage: run-driver-test.sh WORK_DIR TEST_BINARY}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work"
work=$(cd "$work" && pwd)

if ! qemu-system-x86_64 --version >/dev/null 2>&1; then
  echo "driver test skipped: qemu-system-x86_64 cannot run here (scripts/setup.sh --test installs it)" >&2
  exit 77
fi
prepared=$("$here/prepare-vm.sh" "$work/cache")
version=$(basename "$prepared")

scratch=$work/run
rm -rf "$scratch"
mkdir -p "$scratch/tmp" "$scratch/xdg"
chmod 700 "$scratch/xdg"
vivid="vivid n_devs=1 node_types=0x1 num_inputs=1 input_types=0x0"
modprobe="modprobe -d $prepared/root -S $version"
cat > "$scratch/guest.sh" <<GUEST
# Runs as root inside the virtual machine.
busybox ip link set lo up
$modprobe $vivid || exit 90
for i in \$(seq 50); do [ -c /dev/video0 ] && break; sleep 0.1; done
export TALVEX_VIVID_LOAD="$modprobe $vivid" TALVEX_VIVID_UNLOAD="$modprobe -r vivid"
export QT_QPA_PLATFORM=offscreen TMPDIR=$scratch/tmp XDG_RUNTIME_DIR=$scratch/xdg HOME=$scratch/tmp
"$binary" ${TALVEX_DRIVER_FILTER:+--gtest_filter=$TALVEX_DRIVER_FILTER} --gtest_output=xml:$scratch/results.xml >"$scratch/test.log" 2>"$scratch/stderr.log"
GUEST

start=$(date +%s)
status=0
"$here/boot-vm.sh" "$prepared" "$scratch/guest.sh" "$scratch" 330 || status=$?
echo "vivid on Debian's kernel $version in QEMU (TCG), $(( $(date +%s) - start )) s:"
grep '^driver: ' "$scratch/test.log" 2>/dev/null | sed 's/^driver: /  /' || true
grep -E '^\[  (PASSED|FAILED) ' "$scratch/test.log" 2>/dev/null || true
if [ "$status" -ne 0 ]; then
  echo "driver test failed (exit $status); log: $scratch/test.log, stderr: $scratch/stderr.log, console: $scratch/console.log"
  grep -B2 -A8 'Failure' "$scratch/test.log" | head -n 60 || true
fi
exit "$status"
