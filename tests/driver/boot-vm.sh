#!/usr/bin/env bash
# Boots the prepared virtual machine (TCG, two processors) with the host's /
# shared read-only and SCRATCH read-write, runs SCRIPT inside it as root and
# returns the script's exit status. The console goes to SCRATCH/console.log.
#
#   boot-vm.sh PREPARED_DIR SCRIPT SCRATCH TIMEOUT_SECONDS
set -euo pipefail

dir=${1:?} script=${2:?} scratch=${3:?} limit=${4:?}
rm -f "$scratch/status"
# TCG: the machine's KVM has no hardware virtualisation behind it, and a
# stock kernel crawls under it.
timeout --kill-after=5 "$limit" qemu-system-x86_64 \
  -accel tcg,thread=multi -cpu max -smp 2 -m 1536 \
  -nographic -serial mon:stdio -no-reboot -nic none \
  -kernel "$dir/vmlinux" -initrd "$dir/initrd.cpio" \
  -append "console=ttyS0 quiet loglevel=3 panic=-1 talvex.run=$script talvex.scratch=$scratch" \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
  -virtfs local,path="$scratch",mount_tag=scratch,security_model=none,multidevs=remap \
  </dev/null >"$scratch/console.log" 2>&1 || true
if [ ! -f "$scratch/status" ]; then
  echo "the virtual machine ended without a result (see $scratch/console.log)" >&2
  tail -n 20 "$scratch/console.log" >&2
  exit 1
fi
exit "$(cat "$scratch/status")"
