#!/usr/bin/env bash
# Boots the lab guest (a Debian 12 system under QEMU, built by tools/lab/build-image.sh) and runs one
# command in it as root, with the checkout's top folder shared read-write at the same absolute path
# as on the host and as the working folder. Every boot starts from the clean image. Streams the
# guest's output and exits with the command's exit status; when no guest can start (no QEMU, no
# image, no boot in time) prints one line saying why and exits 125 (124 when the command overran).
# Usage: tools/lab/guest-run.sh [--timeout SECONDS] [--mem MB] -- COMMAND [ARGS...]
#   --timeout  the whole run's limit, boot included (default 1800)
#   --mem      the guest's memory (default 2048)
#   QV_LAB_CPUS sets the guest's processors (default 2); QV_LAB_CACHE the image cache folder.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
timeout=1800
mem=2048
boot_limit=180 # seconds from QEMU's start to the guest's own init, on a loaded machine
while [ $# -gt 0 ]; do
  case $1 in
    --timeout) timeout=$2; shift 2 ;;
    --mem) mem=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "usage: tools/lab/guest-run.sh [--timeout SECONDS] [--mem MB] -- COMMAND [ARGS...]" >&2
       exit 2 ;;
  esac
done
[ $# -gt 0 ] || { echo "guest-run.sh: no command given" >&2; exit 2; }

no_guest() {
  echo "guest-run.sh: no lab guest can start: $*" >&2
  exit 125
}
src=$(git rev-parse --show-toplevel 2>/dev/null) || no_guest "not inside a git checkout"
img=$(bash "$here/build-image.sh") || no_guest "the guest image could not be built"
command -v qemu-system-x86_64 >/dev/null || no_guest "qemu-system-x86_64 is not installed"

ctl=$(mktemp -d "${TMPDIR:-/tmp}/qv-lab.XXXXXX")
qemu_pid=
console_filter=
finish() {
  [ -n "$qemu_pid" ] && kill "$qemu_pid" 2>/dev/null
  if [ -n "$console_filter" ]; then # all the guest's output is out before this script ends
    exec {console}>&-
    wait "$console_filter" 2>/dev/null
  fi
  rm -rf "$ctl"
}
trap finish EXIT
cp "$here/guest-init.sh" "$ctl/init.sh"
printf '%s\n' "$src" >"$ctl/src"
{
  printf 'cd %q || exit 125\n' "$src"
  printf '%q ' "$@"
  echo
} >"$ctl/command.sh"

# A real KVM runs the guest at full speed; this machine's /dev/kvm may be a PVM that cannot boot a
# stock kernel, and there QEMU's own translator is used (SMAP off: QEMU 7.2's translator faults
# 32-bit user-mode returns with it on).
if [ -w /dev/kvm ] && [ ! -d /sys/module/kvm_pvm ]; then
  accel=(-accel kvm -cpu host)
else
  accel=(-accel tcg,thread=multi -cpu max,-smap)
fi

# The guest's console, less the kernel's two lines about powering off.
exec {console}> >(grep --line-buffered -vE \
  '^\[ *[0-9.]+\] (sysrq: Power Off|reboot: Power down)[[:space:]]*$')
console_filter=$!
qemu-system-x86_64 "${accel[@]}" -machine pc -nodefaults -display none -no-reboot \
  -smp "${QV_LAB_CPUS:-2}" -m "$mem" \
  -kernel "$img/vmlinuz" -initrd "$img/initrd.img" \
  -append "console=ttyS0 quiet loglevel=3 panic=-1 rw" \
  -drive "file=$img/guest.img,if=virtio,format=raw,snapshot=on" \
  -device virtio-rng-pci \
  -virtfs "local,path=$ctl,mount_tag=qvctl,security_model=none" \
  -virtfs "local,path=$src,mount_tag=qvsrc,security_model=none" \
  -chardev stdio,id=console,signal=off -serial chardev:console </dev/null >&"$console" &
qemu_pid=$!

start=$SECONDS
status=
while kill -0 "$qemu_pid" 2>/dev/null; do
  elapsed=$((SECONDS - start))
  if [ ! -e "$ctl/started" ] && [ "$elapsed" -ge "$boot_limit" ]; then
    status="the guest did not boot within $boot_limit s"
    break
  fi
  if [ "$elapsed" -ge "$timeout" ]; then
    status=overran
    break
  fi
  sleep 0.2
done
if [ -n "$status" ]; then
  kill "$qemu_pid" 2>/dev/null || true
  wait "$qemu_pid" 2>/dev/null || true
  qemu_pid=
  [ "$status" = overran ] || no_guest "$status"
  echo "guest-run.sh: the command did not finish within $timeout s; the guest was stopped" >&2
  exit 124
fi
qemu_status=0
wait "$qemu_pid" || qemu_status=$?
qemu_pid=
[ -e "$ctl/started" ] || no_guest "the guest stopped while booting (QEMU exit status $qemu_status)"
[ -f "$ctl/rc" ] || { echo "guest-run.sh: the guest stopped before the command finished" >&2; exit 125; }
exit "$(cat "$ctl/rc")"
