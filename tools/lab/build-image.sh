#!/usr/bin/env bash
# Builds the lab guest once: a Debian 12 disk image with the packages of tools/lab/packages.txt,
# its kernel, and a small busybox initramfs that mounts that disk and hands over to the script the
# host shares (tools/lab/guest-run.sh boots it). The result goes to a cache outside the clone,
# ${QV_LAB_CACHE:-/var/cache/quorvane-lab}/<key>/, keyed by a hash of the package list and of this
# script; a second call with the same key returns at once. Prints that folder on stdout (progress
# goes to stderr, the long logs to <key>.log beside it).
# Usage: tools/lab/build-image.sh
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cache_root=${QV_LAB_CACHE:-/var/cache/quorvane-lab}
key=$(cat "$here/packages.txt" "$here/build-image.sh" | sha256sum | cut -c1-16)
out=$cache_root/$key
if [ -f "$out/guest.img" ]; then
  echo "$out"
  exit 0
fi

bash "$here/../install-deps.sh" --lab >&2
[ "$(id -u)" -eq 0 ] || { echo "build-image.sh: building the guest needs root (chroot)" >&2; exit 1; }

mkdir -p "$cache_root"
exec 9>"$cache_root/$key.lock"
flock 9 # another build of the same key finishes first; then its result is used
if [ -f "$out/guest.img" ]; then
  echo "$out"
  exit 0
fi

log=$cache_root/$key.log
work=$cache_root/$key.tmp
rootfs=$work/rootfs
rm -rf "$work"
mkdir -p "$rootfs"
: >"$log"
cleanup() {
  for m in dev/pts dev sys proc; do
    mountpoint -q "$rootfs/$m" 2>/dev/null && umount -l "$rootfs/$m"
  done
  return 0
}
failed() {
  cleanup
  echo "build-image.sh: the guest image could not be built; the end of $log:" >&2
  tail -n 30 "$log" >&2
}
trap failed ERR
trap cleanup EXIT
start=$SECONDS

# The Debian mirror this machine already uses, read from its apt sources.
mirror=$(sed -n 's/^URIs:[[:space:]]*\([^[:space:]]*\).*/\1/p' /etc/apt/sources.list.d/*.sources \
           2>/dev/null | grep -v security | head -n1 || true)
[ -n "$mirror" ] || mirror=$(awk '$1 == "deb" && $0 !~ /security/ { print $2; exit }' \
                               /etc/apt/sources.list 2>/dev/null || true)
[ -n "$mirror" ] || { echo "build-image.sh: no Debian mirror in this machine's apt sources" >&2; exit 1; }

echo "lab image: debootstrap bookworm (log: $log)" >&2
debootstrap --variant=minbase bookworm "$rootfs" "$mirror" >>"$log" 2>&1

mount -t proc proc "$rootfs/proc"
mount -t sysfs sys "$rootfs/sys"
mount --bind /dev "$rootfs/dev"
mount --bind /dev/pts "$rootfs/dev/pts"
# No service starts inside the chroot while packages are installed.
printf '#!/bin/sh\nexit 101\n' >"$rootfs/usr/sbin/policy-rc.d"
chmod 755 "$rootfs/usr/sbin/policy-rc.d"
mapfile -t packages < <(sed -e 's/#.*//' -e 's/[[:space:]]//g' "$here/packages.txt" | grep -v '^$')
echo "lab image: installing ${#packages[@]} packages" >&2
chroot "$rootfs" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
  bash -euo pipefail -c '
    dpkg --add-architecture i386
    apt-get update -q
    apt-get install -y -q --no-install-recommends "$@"
    apt-get clean
    rm -rf /var/lib/apt/lists/*
    useradd -m -u 1001 -U -G www-data -s /bin/bash webuser
    useradd -m -u 1002 -U -s /bin/bash other
    echo lab >/etc/hostname
    mkdir -p /qv-ctl
  ' lab "${packages[@]}" >>"$log" 2>&1
rm -f "$rootfs/usr/sbin/policy-rc.d"
cleanup

kver=$(ls "$rootfs/lib/modules" | sort -V | tail -n1)
cp "$rootfs/boot/vmlinuz-$kver" "$work/vmlinuz"

# The initramfs: busybox, the modules that reach the virtio disk, ext4 and 9p (with what they need,
# in load order), and an init that mounts the disk and the control share, then hands over to the
# control share's init.sh on the real root.
echo "lab image: initramfs for $kver" >&2
initrd=$work/initrd
mkdir -p "$initrd"/{bin,dev,proc,sys,newroot,lib/modules}
cp /bin/busybox "$initrd/bin/busybox"
moddir=$rootfs/lib/modules/$kver
declare -A loaded=()
order=()
add_module_file() { # adds a module (path relative to moddir) after the modules it depends on
  local file=$1 dep
  [ -n "${loaded[$file]:-}" ] && return 0
  loaded[$file]=1
  for dep in $(sed -n "s|^$file:||p" "$moddir/modules.dep"); do add_module_file "$dep"; done
  order+=("$file")
}
for name in virtio_pci virtio_blk crc32c_generic ext4 9pnet_virtio 9p; do
  file=$(grep -E "(^|/)$name\.ko(\.xz|\.zst)?:" "$moddir/modules.dep" | head -n1 | cut -d: -f1 || true)
  if [ -z "$file" ]; then
    grep -qE "/$name\.ko" "$moddir/modules.builtin" && continue
    echo "build-image.sh: kernel module $name not found" >&2
    exit 1
  fi
  add_module_file "$file"
done
: >"$initrd/modules"
for file in "${order[@]}"; do
  base=$(basename "$file")
  case $file in
    *.xz) xz -dc "$moddir/$file" >"$initrd/lib/modules/${base%.xz}"; base=${base%.xz} ;;
    *.zst) zstd -qdc "$moddir/$file" >"$initrd/lib/modules/${base%.zst}"; base=${base%.zst} ;;
    *) cp "$moddir/$file" "$initrd/lib/modules/$base" ;;
  esac
  echo "$base" >>"$initrd/modules"
done
cat >"$initrd/init" <<'INIT'
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for m in $(cat /modules); do insmod /lib/modules/$m 2>/dev/null; done
i=0
while [ ! -b /dev/vda ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
if ! mount -t ext4 -o rw /dev/vda /newroot ||
   ! mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 qvctl /newroot/qv-ctl; then
  echo "lab initramfs: the guest disk or the control share could not be mounted"
  echo o >/proc/sysrq-trigger
fi
umount /proc /sys
mount --move /dev /newroot/dev
exec switch_root /newroot /bin/bash /qv-ctl/init.sh
INIT
chmod 755 "$initrd/init"
(cd "$initrd" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initrd.img"
rm -rf "$initrd"

used=$(du -sm "$rootfs" | cut -f1)
size=$((used + used / 5 + 4700)) # the system, slack for ext4's own use, and 4.5 GB free
echo "lab image: ext4 of $size MB ($used MB of system)" >&2
mkfs.ext4 -q -L qvroot -d "$rootfs" "$work/guest.img" "${size}M" >>"$log" 2>&1
rm -rf "$rootfs"
mv "$work" "$out"
echo "lab image: built in $((SECONDS - start)) s" >&2
echo "$out"
