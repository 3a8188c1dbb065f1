#!/usr/bin/env bash
# Prepares, once per kernel version, what the driver test's virtual machine
# boots: Debian's own kernel (downloaded from the package archive, never
# installed), its modules with a module index, the kernel uncompressed for a
# direct PVH boot, and a busybox initramfs that mounts the host over 9p.
#
#   prepare-vm.sh CACHE_DIR
#
# Prints the prepared folder on success. Exit 77: the machine cannot run the
# test (tools or kernel package missing); one line on stderr says why.
set -euo pipefail

cache=${1:?usage: prepare-vm.sh CACHE_DIR}
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "driver test skipped: $*" >&2; exit 77; }

for tool in qemu-system-x86_64 busybox depmod modprobe dpkg-deb apt-get apt-cache xz; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/setup.sh --test installs it)"
done
busybox_bin=$(command -v busybox)
# The initramfs has no libraries: only the static build works there.
grep -qa '/lib64/ld-linux' "$busybox_bin" && skip "busybox is not the static build (busybox-static)"

# The kernel package the metapackage points at, e.g. linux-image-6.1.0-57-amd64.
package=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -n1)
[ -n "$package" ] || skip "apt-cache does not know linux-image-amd64"
version=${package#linux-image-}
dir=$cache/$version
if [ -f "$dir/ready" ] && [ "$dir/ready" -nt "$here/vm-init.sh" ]; then
  echo "$dir"
  exit 0
fi

rm -rf "$dir"
mkdir -p "$dir/download"
(cd "$dir/download" && apt-get download -q "$package" >/dev/null 2>&1) \
  || skip "apt-get download $package failed (no package archive?)"
dpkg-deb -x "$dir"/download/"$package"_*.deb "$dir/root"
rm -rf "$dir/download"
depmod -b "$dir/root" "$version"

# QEMU boots an ELF vmlinux directly; the bzImage's own xz decompressor is
# very slow under emulation. The payload starts at the xz magic.
vmlinuz=$dir/root/boot/vmlinuz-$version
offset=$(LC_ALL=C grep -obUaP '\xFD7zXZ\x00' "$vmlinuz" | head -n1 | cut -d: -f1)
[ -n "$offset" ] || skip "no xz payload in $vmlinuz"
tail -c +"$((offset + 1))" "$vmlinuz" | xz -dc --single-stream > "$dir/vmlinux" 2>/dev/null || true
head -c 4 "$dir/vmlinux" | grep -q 'ELF' || skip "could not unpack vmlinux from $vmlinuz"

# The initramfs: busybox, the virtio and 9p modules in load order, and init.
initrd=$dir/initrd
mkdir -p "$initrd/bin" "$initrd/modules" "$initrd/proc" "$initrd/sys" "$initrd/dev" "$initrd/host"
cp "$busybox_bin" "$initrd/bin/busybox"
n=0
for module in virtio_pci 9pnet_virtio 9p; do
  modprobe -d "$dir/root" -S "$version" --show-depends "$module" | awk '$1 == "insmod" { print $2 }'
done | awk '!seen[$0]++' | while read -r ko; do
  n=$((n + 1))
  cp "$ko" "$initrd/modules/$(printf '%02d' "$n")-$(basename "$ko")"
done
cp "$here/vm-init.sh" "$initrd/init"
chmod +x "$initrd/init"
(cd "$initrd" && find . | "$busybox_bin" cpio -o -H newc 2>/dev/null) > "$dir/initrd.cpio"
rm -rf "$initrd"

touch "$dir/ready"
echo "$dir"
