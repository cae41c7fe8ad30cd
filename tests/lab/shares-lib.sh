# Case bookkeeping and small helpers for guest-side suites (sourced, run as root in the guest).
#
# Usage: case_begin NAME; ...; check CMD... / fail MESSAGE; case_end; ... suite_end
#   A case named in the array `known_pending` that fails prints "PENDING: NAME" and does not
#   count as a failure; one that passes says it may leave that list.
#   as_user USER CMD...         runs CMD as USER with USER's groups
#   new_loop_fs TYPE SIZE_MB MOUNTPOINT [mount options]   a file-backed file system, mounted
#   cleanup_mounts              unmounts what new_loop_fs mounted

QV_CASE=""
QV_CASE_FAILED=0
QV_PASSED=0
QV_FAILED=0
QV_PENDING=0
QV_LOOP_MOUNTS=()
declare -a known_pending 2>/dev/null || true

case_begin() {
  QV_CASE=$1
  QV_CASE_FAILED=0
  echo "--- $QV_CASE"
}

# Records a failure of the current case with a message.
fail() {
  echo "    FAIL [$QV_CASE]: $*"
  QV_CASE_FAILED=1
}

# Runs a command; a non-zero status is a failure of the current case.
check() {
  "$@" || fail "$*"
}

is_known_pending() {
  local name
  for name in "${known_pending[@]}"; do [[ $name == "$1" ]] && return 0; done
  return 1
}

case_end() {
  if ((QV_CASE_FAILED == 0)); then
    ((++QV_PASSED))
    is_known_pending "$QV_CASE" && echo "PASS: $QV_CASE (listed as pending: take it off the list)"
    echo "ok   $QV_CASE"
  elif is_known_pending "$QV_CASE"; then
    ((++QV_PENDING))
    echo "PENDING: $QV_CASE"
  else
    ((++QV_FAILED))
    echo "FAILED: $QV_CASE"
  fi
  QV_CASE=""
}

# Prints the one-line summary; returns non-zero when any case failed.
suite_end() {
  echo "${0##*/}: $QV_PASSED passed, $QV_FAILED failed, $QV_PENDING pending"
  ((QV_FAILED == 0))
}

as_user() {
  local user=$1
  shift
  setpriv --reuid="$user" --regid="$(id -g "$user")" --init-groups -- "$@"
}

new_loop_fs() {
  local type=$1 size=$2 mountpoint=$3 options=${4:-} image
  image=$(mktemp /tmp/qv-loop.XXXXXX)
  truncate -s "${size}M" "$image"
  case $type in
    ext4) mkfs.ext4 -q -F -m 0 "$image" ;;
    *) "mkfs.$type" "$image" >/dev/null ;;
  esac
  mkdir -p "$mountpoint"
  mount -o "loop${options:+,$options}" "$image" "$mountpoint"
  QV_LOOP_MOUNTS+=("$mountpoint")
}

cleanup_mounts() {
  local i
  for ((i = ${#QV_LOOP_MOUNTS[@]} - 1; i >= 0; i--)); do
    umount "${QV_LOOP_MOUNTS[i]}" 2>/dev/null || umount -l "${QV_LOOP_MOUNTS[i]}" || true
  done
  QV_LOOP_MOUNTS=()
}
