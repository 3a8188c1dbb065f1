#!/bin/busybox sh
# The virtual machine's first process: loads the virtio and 9p modules,
# mounts the host's / read-only and the scratch folder read-write over it,
# gives the chroot its own /dev, /proc, /sys, /tmp and /run, runs the
# script named on the kernel command line inside it, records its exit
# status in the scratch folder and powers off.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for ko in /modules/*.ko; do
  insmod "$ko" || echo "vm: insmod $ko failed"
done

run=
scratch=
for word in $(cat /proc/cmdline); do
  case "$word" in
    talvex.run=*) run=${word#talvex.run=} ;;
    talvex.scratch=*) scratch=${word#talvex.scratch=} ;;
  esac
done

opts=trans=virtio,version=9p2000.L,msize=512000,cache=loose
hostroot=false
if mount -t 9p -o "$opts,ro" hostroot /host; then
  hostroot=true
  mount -t devtmpfs dev /host/dev
  mount -t proc proc /host/proc
  mount -t sysfs sys /host/sys
  mount -t tmpfs run /host/run
  # The chroot gets a writable /tmp of its own; a build folder under the
  # host's /tmp stays visible in it, moved over from the host's view.
  keep=
  case "$scratch" in
    /tmp/?*)
      keep=${scratch#/tmp/}
      keep=${keep%%/*}
      mkdir -p /kept
      mount -o bind "/host/tmp/$keep" /kept
      ;;
  esac
  mount -t tmpfs tmp /host/tmp
  if [ -n "$keep" ]; then
    mkdir -p "/host/tmp/$keep"
    mount --move /kept "/host/tmp/$keep"
  fi
fi
if $hostroot && mount -t 9p -o "$opts" scratch "/host$scratch"; then
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root /bin/chroot /host /bin/sh "$run"
  echo $? > "/host$scratch/status"
else
  echo "vm: cannot mount the host's file systems"
fi
sync
poweroff -f
