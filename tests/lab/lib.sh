# Helpers for the lab's guest-side suites (tests/lab/suites/*.sh), sourced by each suite; they run
# as root inside the lab guest (tools/lab/guest-run.sh). A suite is a list of cases, either
#   case_begin NAME; ...checks...; case_end
# or `run_case NAME FUNCTION [ARGS...]`, which runs FUNCTION in a subshell with errexit, so that an
# unexpected error fails that case and the suite goes on with the next one.
# `check CMD...` and `fail MESSAGE` record failures of the open case (and return 0); a case whose
# name is in the suite's `known_pending` array prints "PENDING: NAME" instead of failing. When the
# suite ends it prints one summary line and exits non-zero if any case failed.
# The command line under test is $QV_CLI (default: build/ci/cli/quorvane-insert-cli).
# shellcheck shell=bash

QV_CLI=${QV_CLI:-$PWD/build/ci/cli/quorvane-insert-cli}
QV_LAB_WORK=${QV_LAB_WORK:-/var/tmp/qv-lab}
known_pending=()
_lab_suite=$(basename "${0%.sh}")
_lab_case=
_lab_passed=0
_lab_failed=0
_lab_pending=0
# Kept in files, so that cases run in subshells record them too.
_lab_failures=$QV_LAB_WORK/.case-failures
_lab_mounts=$QV_LAB_WORK/.mounts
mkdir -p "$QV_LAB_WORK"
: >"$_lab_failures"
: >"$_lab_mounts"

# Starts the case NAME.
case_begin() {
  [ -z "$_lab_case" ] || case_end
  _lab_case=$1
  _lab_case_start=$SECONDS
  : >"$_lab_failures"
  echo "--- $_lab_case"
}

# Records MESSAGE as a failure of the open case.
fail() {
  echo "  FAIL: $*"
  echo "$*" >>"$_lab_failures"
}

# Runs case NAME: FUNCTION ARGS... in a subshell that stops at the first unexpected error.
# With QV_LAB_ONLY set (an extended regular expression), only the cases whose names match it run.
run_case() {
  [[ -z ${QV_LAB_ONLY:-} || $1 =~ $QV_LAB_ONLY ]] || return 0
  run_step "$@"
}

# Runs NAME: FUNCTION ARGS... as a case whatever QV_LAB_ONLY selects (a setup step the selected
# cases need).
run_step() {
  local name=$1 status errexit=$-
  shift
  case_begin "$name"
  set +e
  (
    set -eE
    trap 'echo "  stopped at: $BASH_COMMAND"' ERR
    "$@"
  )
  status=$?
  [[ $errexit != *e* ]] || set -e
  [ "$status" -eq 0 ] || fail "the case stopped at an unexpected error (status $status)"
  case_end
  return 0
}

# Runs CMD...; records a failure naming it when it fails.
check() {
  "$@" || fail "$(printf '%q ' "$@")"
  return 0
}

_lab_is_pending() {
  local name
  for name in "${known_pending[@]}"; do [ "$name" = "$1" ] && return 0; done
  return 1
}

# Ends the open case and counts it.
case_end() {
  [ -n "$_lab_case" ] || return 0
  if [ ! -s "$_lab_failures" ]; then
    _lab_passed=$((_lab_passed + 1))
    _lab_is_pending "$_lab_case" && echo "PASSES, listed as pending: $_lab_case"
    echo "ok: $_lab_case ($((SECONDS - _lab_case_start)) s)"
  elif _lab_is_pending "$_lab_case"; then
    _lab_pending=$((_lab_pending + 1))
    echo "PENDING: $_lab_case"
  else
    _lab_failed=$((_lab_failed + 1))
    echo "FAILED: $_lab_case"
  fi
  _lab_case=
}

_lab_summary() {
  local status=$?
  if [ -n "$_lab_case" ]; then
    [ "$status" -eq 0 ] || fail "the suite stopped inside this case (status $status)"
    case_end
  fi
  cleanup_mounts
  echo "$_lab_suite: $_lab_passed passed, $_lab_failed failed, $_lab_pending pending"
  [ "$_lab_failed" -eq 0 ] && [ "$status" -eq 0 ]
}
trap '_lab_summary || exit 1' EXIT

# Makes folder DIR holding N pages page01.html... of about SIZE bytes (default 2000), each with
# one "</body>" near its end and bytes of every kind before it.
make_site() {
  mkdir -p "$1"
  perl -e '
    my ($dir, $count, $size) = @ARGV;
    for my $i (1 .. $count) {
      my $head = "<html><body>\n<p>page $i caf\xe9 \xc3\xa9\r\n\x1a\x00</p>\n";
      my $fill = $size - length($head) - 16;
      open my $f, ">:raw", sprintf("%s/page%02d.html", $dir, $i) or die "$dir: $!";
      print $f $head, "x" x ($fill > 0 ? $fill : 0), "\n</body></html>\n";
      close $f or die "$dir: $!";
    }' "$1" "$2" "${3:-2000}"
}

# Checks that folder SITE holds exactly the pages of folder ORIGINAL (no other file: no leftover),
# each with the bytes of TEXT_FILE inserted as a run inserts them (framed by CR LF, before the last
# "</body>") when its name is among NAMES, and unchanged otherwise; records a failure per page.
expect_pages() {
  local report
  report=$(perl -e '
    my ($original, $site, $text_file, @names) = @ARGV;
    my %inserted = map { $_ => 1 } @names;
    sub slurp { open my $f, "<:raw", $_[0] or return undef; local $/; my $b = <$f>; $b // "" }
    my $text = slurp($text_file);
    opendir my $o, $original or die; my @pages = sort grep { !/^\.\.?$/ } readdir $o;
    opendir my $s, $site or die "$site: $!"; my %seen = map { $_ => 1 } grep { !/^\.\.?$/ } readdir $s;
    for my $name (@pages) {
      delete $seen{$name};
      my $want = slurp("$original/$name");
      my $at = rindex($want, "</body>");
      $want = substr($want, 0, $at) . "\r\n$text\r\n" . substr($want, $at) if $inserted{$name};
      my $got = slurp("$site/$name");
      if (!defined $got) { print "$name: missing\n"; next }
      next if $got eq $want;
      printf "%s: %s (%d bytes, %d expected)\n", $name,
        ($got eq slurp("$original/$name") ? "unchanged" : "not the expected bytes"),
        length $got, length $want;
    }
    print "$_: left in the folder\n" for sort keys %seen;
  ' "$@")
  [ -z "$report" ] || while IFS= read -r line; do fail "$line"; done <<<"$report"
  return 0
}

# Succeeds when FILE holds exactly the bytes of EXPECTED_FILE; otherwise says how they differ.
expect_bytes() {
  cmp -s "$1" "$2" && return 0
  fail "$1: not the expected bytes ($(stat -c %s "$1" 2>/dev/null || echo missing) bytes," \
    "$(stat -c %s "$2") expected)"
  return 0
}

# Runs CMD... as USER (with that user's groups), in the current folder.
as_user() {
  local user=$1
  shift
  runuser -u "$user" -- "$@"
}

# Makes a file system of TYPE (ext4, xfs, btrfs, vfat, exfat, ntfs, tmpfs) of SIZE_MB and mounts
# it at MOUNTPOINT, with the mount options given, if any; file-backed through a loop device.
new_loop_fs() {
  local type=$1 size=$2 mnt=$3 options=${4:-} image dev
  mkdir -p "$mnt"
  if [ "$type" = tmpfs ]; then
    mount -t tmpfs -o "size=${size}m${options:+,$options}" tmpfs "$mnt"
    echo "mount $mnt" >>"$_lab_mounts"
    return
  fi
  image=$QV_LAB_WORK/$type-$RANDOM$RANDOM.img
  truncate -s "${size}M" "$image"
  dev=$(losetup -f --show "$image")
  echo "loop $dev" >>"$_lab_mounts"
  case $type in
    ext4) mkfs.ext4 -q -F -m 0 "$dev" ;;
    xfs) mkfs.xfs -q -f "$dev" ;;
    btrfs) mkfs.btrfs -q -f "$dev" >/dev/null ;;
    vfat) mkfs.vfat "$dev" >/dev/null ;;
    exfat) mkfs.exfat "$dev" >/dev/null ;;
    ntfs) mkfs.ntfs -q -Q -F "$dev" >/dev/null 2>&1 ;; # it warns that no Windows boots from it
    *) echo "new_loop_fs: unknown type $type" >&2; return 1 ;;
  esac
  if [ "$type" = ntfs ]; then
    ntfs-3g ${options:+-o "$options"} "$dev" "$mnt"
  else
    mount -t "$type" ${options:+-o "$options"} "$dev" "$mnt"
  fi
  echo "mount $mnt" >>"$_lab_mounts"
}

# Has cleanup_mounts unmount MOUNTPOINT, mounted by the suite itself.
track_mount() {
  echo "mount $1" >>"$_lab_mounts"
}

# Unmounts what new_loop_fs and track_mount recorded (last first) and frees its loop devices and images.
cleanup_mounts() {
  local kind path
  tac "$_lab_mounts" | while read -r kind path; do
    case $kind in
      mount) umount "$path" 2>/dev/null || umount -l "$path" 2>/dev/null || true ;;
      loop) losetup -d "$path" 2>/dev/null || true ;;
    esac
  done
  : >"$_lab_mounts"
  rm -f "$QV_LAB_WORK"/*.img
}
