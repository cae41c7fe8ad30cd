# Case bookkeeping for the share suite where the lab's common helpers (tests/lab/lib.sh) are
# absent; the same functions, reduced to what that suite uses. Sourced, as root in the guest.
#   case_begin NAME ... case_end, or run_case NAME FUNCTION [ARGS...] (in a subshell with errexit)
#   check CMD... / fail MESSAGE   record a failure of the open case
#   known_pending=(NAME...)        failing cases printed "PENDING: NAME", not counted as failed
#   as_user USER CMD...; new_loop_fs ext4 SIZE_MB MOUNTPOINT; cleanup_mounts
# At exit: one summary line, and a non-zero status when a case failed.
# shellcheck shell=bash

QV_LAB_WORK=${QV_LAB_WORK:-/var/tmp/qv-lab}
known_pending=()
_case=
_passed=0
_failed=0
_pending=0
mkdir -p "$QV_LAB_WORK"
_failures=$QV_LAB_WORK/.case-failures
_mounts=$QV_LAB_WORK/.mounts
: >"$_failures"
: >"$_mounts"

case_begin() {
  [ -z "$_case" ] || case_end
  _case=$1
  : >"$_failures"
  echo "--- $_case"
}

fail() {
  echo "  FAIL: $*"
  echo "$*" >>"$_failures"
}

check() {
  "$@" || fail "$(printf '%q ' "$@")"
  return 0
}

run_case() {
  local name=$1 status
  shift
  case_begin "$name"
  set +e
  (
    set -eE
    trap 'echo "  stopped at: $BASH_COMMAND"' ERR
    "$@"
  )
  status=$?
  set -e
  [ "$status" -eq 0 ] || fail "the case stopped at an unexpected error (status $status)"
  case_end
}

_is_pending() {
  local name
  for name in "${known_pending[@]}"; do [ "$name" = "$1" ] && return 0; done
  return 1
}

case_end() {
  [ -n "$_case" ] || return 0
  if [ ! -s "$_failures" ]; then
    _passed=$((_passed + 1))
    if _is_pending "$_case"; then echo "PASSES, listed as pending: $_case"; fi
    echo "ok: $_case"
  elif _is_pending "$_case"; then
    _pending=$((_pending + 1))
    echo "PENDING: $_case"
  else
    _failed=$((_failed + 1))
    echo "FAILED: $_case"
  fi
  _case=
}

_summary() {
  local status=$?
  [ -z "$_case" ] || case_end
  cleanup_mounts
  echo "$(basename "${0%.sh}"): $_passed passed, $_failed failed, $_pending pending"
  [ "$_failed" -eq 0 ] && [ "$status" -eq 0 ]
}
trap '_summary || exit 1' EXIT

as_user() {
  local user=$1
  shift
  runuser -u "$user" -- "$@"
}

new_loop_fs() {
  local size=$2 mnt=$3 image dev
  image=$QV_LAB_WORK/ext4-$RANDOM$RANDOM.img
  truncate -s "${size}M" "$image"
  dev=$(losetup -f --show "$image")
  echo "loop $dev" >>"$_mounts"
  mkfs.ext4 -q -F -m 0 "$dev"
  mkdir -p "$mnt"
  mount -t ext4 "$dev" "$mnt"
  echo "mount $mnt" >>"$_mounts"
}

cleanup_mounts() {
  local kind path
  tac "$_mounts" | while read -r kind path; do
    case $kind in
      mount) umount "$path" 2>/dev/null || umount -l "$path" 2>/dev/null || true ;;
      loop) losetup -d "$path" 2>/dev/null || true ;;
    esac
  done
  : >"$_mounts"
  rm -f "$QV_LAB_WORK"/*.img
}
