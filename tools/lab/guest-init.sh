#!/bin/bash
# The lab guest's first process on its real root (started by the initramfs from the control share):
# mounts the usual kernel file systems, loads the modules that tests open through /dev nodes, mounts
# the host's checkout over 9p at its host path, runs the command written by tools/lab/guest-run.sh,
# records its exit status on the control share and powers the guest off.
# Usage: not run by hand; tools/lab/guest-run.sh copies it to the control share as init.sh.
set -uo pipefail
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8
export TERM=dumb DM_DISABLE_UDEV=1 # no udev in the guest: device-mapper must not wait for it

power_off() {
  sync
  echo o >/proc/sysrq-trigger
  sleep 30
}
trap power_off EXIT

mount -t proc proc /proc
mount -t sysfs sys /sys
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
ln -sfn /proc/self/fd /dev/fd # bash's <(...) needs it; udev would make it
ln -sf /proc/self/fd/0 /dev/stdin
ln -sf /proc/self/fd/1 /dev/stdout
ln -sf /proc/self/fd/2 /dev/stderr
mount -t tmpfs -o mode=1777 tmpfs /dev/shm
mount -t tmpfs -o mode=755 tmpfs /run
mount -t tmpfs -o mode=1777 tmpfs /tmp
mkdir -p /run/lock /run/sshd
stty -onlcr </dev/console 2>/dev/null # the host reads "\n", not "\r\n"
hostname lab
ip link set lo up
for m in loop dm_mod fuse virtio_rng; do modprobe -q "$m" || true; done
chmod 666 /dev/fuse # as udev leaves it: users mount FUSE file systems (sshfs) themselves
: >/qv-ctl/started

src=$(cat /qv-ctl/src)
mkdir -p "$src"
if ! mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144,cache=loose qvsrc "$src"; then
  echo "lab guest: the checkout could not be mounted at $src"
  exit
fi
bash /qv-ctl/command.sh </dev/null
echo $? >/qv-ctl/rc.tmp
cd /
sync
umount "$src" 2>/dev/null || true
mv /qv-ctl/rc.tmp /qv-ctl/rc
