#!/usr/bin/env bash
# Power cuts during a command-line run, in the lab guest. For each of ext4, xfs, btrfs, exfat and
# vfat: the file system sits on a device-mapper log-writes device that records every write that
# reaches the disk; the command line rewrites a few hundred pages on it, and a mark is set in the
# log as each page is reported done. The log is then replayed (tools/lab/replay) to flush, FUA and
# mark points and to points between them; each state is mounted as after a reboot (the journal
# replayed, no fsck) through a throwaway snapshot, and checked: every page is there and wholly old
# or wholly new, and every page reported done is new once the run's summary is out. On vfat, a
# next run over each state that lost a page from its name, and over about ten others, must then
# leave every page there and new.
# Usage (as root, in the guest): bash tests/lab/suites/power-cut.sh [FS...]
#   QV_CLI: the command line under test; QV_LOG_REPLAY: the replayer (default: in the same build
#   folder); QV_POWERCUT_PAGES (default 300) and QV_POWERCUT_STATES (states checked per file
#   system, default 40) bound the work.
set -euo pipefail

suite_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tests/lab/lib.sh
source "$suite_dir/../lib.sh"

cli=$(realpath "$QV_CLI")
replay=$(realpath "${QV_LOG_REPLAY:-$(dirname "$cli")/../tools/lab/replay/qv-log-replay}")
pages=${QV_POWERCUT_PAGES:-300}
max_states=${QV_POWERCUT_STATES:-40}
fs_list=("$@")
[ ${#fs_list[@]} -gt 0 ] || fs_list=(ext4 xfs btrfs exfat vfat)

# A page reported done by -v is renamed, and its rename reaches the disk with its group's flush;
# the run's summary comes once everything is on the disk. So every page must be new in every state
# after the summary, and whole (old or new) in every state before it.
# shellcheck disable=SC2034 # read by lib.sh
known_pending=()

work=$QV_LAB_WORK/power-cut
lw=qv-powercut-log
snap=qv-powercut-snap
size_mb=320 # xfs wants 300 MB at least
loops=()

teardown() {
  umount -q "$work/mnt" 2>/dev/null || true
  dmsetup remove "$snap" 2>/dev/null || true
  dmsetup remove "$lw" 2>/dev/null || true
  local loop
  for loop in "${loops[@]}"; do losetup -d "$loop" 2>/dev/null || true; done
  loops=()
}

new_loop() { # image file -> prints its loop device
  local loop
  loop=$(losetup -f --show "$1")
  loops+=("$loop")
  echo "$loop"
}

make_fs() { # fs device
  case $1 in
    ext4) mkfs.ext4 -q -F -E nodiscard "$2" ;;
    xfs) mkfs.xfs -q -f -K "$2" ;;
    btrfs) mkfs.btrfs -q -f -K "$2" >/dev/null ;;
    exfat) mkfs.exfat "$2" >/dev/null ;;
    vfat) mkfs.fat -F 32 "$2" >/dev/null ;;
  esac
}

mount_fs() { # fs device
  # btrfs refuses a device older than one it has seen with the same identity, as every state's
  # snapshot is after the whole run was mounted.
  [ "$1" != btrfs ] || btrfs device scan --forget >/dev/null 2>&1 || true
  mount -t "$1" "$2" "$work/mnt"
}

# Pages of 2 to 4 KB with CR LF, Latin-1 and UTF-8 bytes, written by the shell alone: under the
# guest's emulated processor every program started costs about a tenth of a second.
make_pages() { # folder count
  local i filler name
  mkdir -p "$1"
  printf -v filler '%4000s' ''
  filler=${filler// /x}
  for ((i = 1; i <= $2; i++)); do
    printf -v name 'page%03d.html' "$i"
    printf '<html><body>\r\n<p>page %d caf\xe9 \xc3\xa9</p>\r\n%s\r\n</body></html>\r\n' \
      "$i" "${filler:0:2000 + i * 37 % 2000}" >"$1/$name"
  done
}

declare -A old_sum=() new_sum=()
page_names=()
reported=() # the recorded run's output lines: element N-1 names the page of line N, if any

load_sums() {
  local sum name
  while read -r sum name; do
    old_sum[$name]=$sum
    page_names+=("$name")
  done <"$work/old.sums"
  while read -r sum name; do new_sum[$name]=$sum; done <"$work/new.sums"
}

# Sets `problems` to one line per page problem in the mounted state: "missing NAME", "torn NAME"
# (neither old nor new), "unsaved NAME" (old, though reported done when the first $1 lines of the
# run's output, its summary among them, were out) or "old NAME" (old, when $2 is "new": every page
# must be).
check_state() {
  local done_count=$1 want=$2 sum path name i
  local -A found=() must_be_new=()
  problems=()
  # Through a file: the guest has no /dev/fd for a process substitution.
  sha1sum -- "$work/mnt/site"/* >"$work/found.sums" 2>/dev/null || true
  while read -r sum path; do found[${path##*/}]=$sum; done <"$work/found.sums"
  if ((done_count >= ${#reported[@]})); then
    for ((i = 0; i < ${#reported[@]}; i++)); do
      [ -z "${reported[i]}" ] || must_be_new[${reported[i]}]=1
    done
  fi
  for name in "${page_names[@]}"; do
    sum=${found[$name]:-}
    if [ -z "$sum" ]; then
      problems+=("missing $name")
    elif [ "$sum" = "${new_sum[$name]}" ]; then
      continue
    elif [ "$sum" != "${old_sum[$name]}" ]; then
      problems+=("torn $name")
    elif [ "$want" = new ]; then
      problems+=("old $name")
    elif [ -n "${must_be_new[$name]:-}" ]; then
      problems+=("unsaved $name")
    fi
  done
}

# Records `problems` of the state described by $2: a missing or unsaved page goes to a case of its
# own for the file system (see the end of this file), anything else fails the open case. At most
# three of each kind.
record() {
  local fs=$1 where=$2 line kind
  local -A seen=()
  for line in "${problems[@]}"; do
    kind=${line%% *}
    seen[$kind]=$((${seen[$kind]:-0} + 1))
    [ "${seen[$kind]}" -le 3 ] || continue
    if [ "$kind" = missing ] || [ "$kind" = unsaved ]; then
      echo "$where: page $line" >>"$work/$fs.$kind"
    else
      fail "$where: page $line"
    fi
  done
}

# The run under a log-writes device: leaves $work/log.img, $work/base.img (the state before the
# run) and `reported`; the mark done-N was set when the run's Nth output line was read.
record_run() {
  local fs=$1 data log sectors status=0 line count
  rm -f "$work"/*.img && mkdir -p "$work/mnt"
  truncate -s "${size_mb}M" "$work/data.img" "$work/cow.img"
  truncate -s 1G "$work/log.img"
  data=$(new_loop "$work/data.img")
  log=$(new_loop "$work/log.img")
  make_fs "$fs" "$data"
  mount_fs "$fs" "$data"
  cp -r "$work/site-old" "$work/mnt/site"
  umount "$work/mnt"
  cp --sparse=always "$work/data.img" "$work/base.img"

  sectors=$(blockdev --getsz "$data")
  dmsetup create "$lw" --table "0 $sectors log-writes $data $log"
  mount_fs "$fs" "/dev/mapper/$lw"
  # Small groups (the descriptors allowed bound them), so that the run flushes several times.
  (cd "$work/mnt" && ulimit -n 320 && "$cli" -v --no-verify "$work/snippet.txt" site 2>"$work/run.err") |
    "$replay" mark "$lw" "done" >"$work/reported" || status=$?
  [ "$status" -eq 0 ] || fail "the recorded run failed (status $status): $(head -c 300 "$work/run.err")"
  reported=()
  count=0
  while IFS= read -r line; do
    if [[ $line == *": site/"* ]]; then
      reported+=("${line#*: site/}")
      count=$((count + 1))
    else
      reported+=("")
    fi
  done <"$work/reported"
  [ "$count" -eq "$pages" ] || fail "the run reported $count pages done, not $pages"
  umount "$work/mnt"
  dmsetup remove "$lw"
  teardown
}

# The states to check, as "STATE DONE_COUNT" lines, ascending: every flush and FUA point and the
# log's end first (evenly thinned to $max_states), then, in the room left, the marks and a point
# midway between each two points; DONE_COUNT is the number of pages reported done by then.
pick_states() {
  "$replay" points "$work/log.img" >"$work/points"
  awk -v max="$max_states" '
    function thin(list, n, room, picked,   i, step, next_pick) {
      step = n > room ? n / room : 1
      next_pick = 1
      for (i = 1; i <= n && room > 0; i++)
        if (i >= next_pick) { picked[list[i]] = 1; next_pick += step; room-- }
    }
    NR == 1 { total = $2; next }
    {
      at[++n] = $1
      if ($2 ~ /flush|fua/) durable[$1] = 1
      if ($3 ~ /^done-/) { sub(/^done-/, "", $3); mark[$1] = $3 }
    }
    END {
      durable[total] = 1
      prev = 0
      for (i = 1; i <= n; i++) {
        if (at[i] - prev > 1) other[int((prev + at[i]) / 2)] = 1
        other[at[i]] = 1
        prev = at[i]
      }
      for (s = 0; s <= total; s++) {
        if (s in durable) first[++nf] = s
        else if (s in other) second[++ns] = s
      }
      thin(first, nf, max, picked)
      used = 0
      for (s in picked) used++
      thin(second, ns, max - used, picked)
      done_count = 0
      for (s = 0; s <= total; s++) {
        if (s in mark) done_count = mark[s]
        if (s in picked) print s, done_count
      }
    }' "$work/points"
}

# Fails the open case with the first lines of FILE, if it has any, and how many more there are.
fail_with_lines() {
  local line count=0
  while IFS= read -r line; do
    count=$((count + 1))
    [ "$count" -gt 5 ] || fail "$line"
  done <"$1"
  [ "$count" -le 5 ] || fail "... and $((count - 5)) more"
}

check_fs() {
  local fs=$1 base cow sectors state done_count previous=0 states=0 started=$SECONDS next_every
  local next_runs=0
  trap teardown EXIT
  record_run "$fs"
  echo "  the run recorded in $((SECONDS - started)) s"
  pick_states >"$work/states"
  base=$(new_loop "$work/base.img")
  cow=$(new_loop "$work/cow.img")
  sectors=$(blockdev --getsz "$base")
  next_every=$(( ($(wc -l <"$work/states") + 9) / 10 ))
  while read -r state done_count <&3; do
    "$replay" replay "$work/log.img" "$base" "$previous" "$state"
    previous=$state
    states=$((states + 1))
    dmsetup create "$snap" --table "0 $sectors snapshot $base $cow N 8"
    if ! mount_fs "$fs" "/dev/mapper/$snap" 2>"$work/mount.err"; then
      fail "state $state does not mount: $(head -c 300 "$work/mount.err")"
      dmsetup remove "$snap"
      continue
    fi
    check_state "$done_count" any
    record "$fs" "state $state ($done_count reported)"
    # A next run costs a whole run under the emulated processor: after every state that lost a
    # page from its name, and after about ten others spread over the log.
    if [ "$fs" = vfat ] && { [[ " ${problems[*]} " == *" missing "* ]] || ((states % next_every == 0)); }; then
      if ! (cd "$work/mnt" && "$cli" -q --no-verify --skip-present "$work/snippet.txt" site) \
        >"$work/next.out" 2>&1; then
        fail "state $state: the next run failed: $(head -c 300 "$work/next.out")"
      fi
      next_runs=$((next_runs + 1))
      check_state 0 new
      record "$fs" "state $state after the next run"
    fi
    umount "$work/mnt"
    dmsetup remove "$snap"
  done 3<"$work/states"
  teardown
  local next_note=""
  [ "$fs" != vfat ] || next_note="($next_runs followed by a next run) "
  echo "power-cut $fs: $(sed -n 's/^entries //p' "$work/points") log entries," \
    "$(grep -c 'flush\|fua' "$work/points" || true) flush/FUA points, $states states checked" \
    "${next_note}in $((SECONDS - started)) s"
}

modprobe -a dm-log-writes dm-snapshot 2>/dev/null || true
# Without udev, nothing makes the node through which btrfs forgets the devices it has seen.
[ -e /dev/btrfs-control ] || mknod /dev/btrfs-control c 10 234
mkdir -p "$work"
# Memory is quicker than the guest's emulated disk; the images are sparse and small.
mount -t tmpfs -o size=1536m qv-powercut "$work"
track_mount "$work"
make_pages "$work/site-old" "$pages"
printf '<script>var quorvaneSite = "power-cut";</script>' >"$work/snippet.txt"
cp -r "$work/site-old" "$work/site-new"
"$cli" -q --no-verify "$work/snippet.txt" "$work/site-new"
(cd "$work/site-old" && sha1sum -- *) >"$work/old.sums"
(cd "$work/site-new" && sha1sum -- *) >"$work/new.sums"
load_sums
for fs in "${fs_list[@]}"; do
  [[ -z ${QV_LAB_ONLY:-} || "power-cut $fs" =~ $QV_LAB_ONLY ]] || continue
  : >"$work/$fs.missing"
  : >"$work/$fs.unsaved"
  run_case "power-cut $fs" check_fs "$fs"
  case_begin "power-cut $fs: no page missing"
  fail_with_lines "$work/$fs.missing"
  case_begin "power-cut $fs: pages reported done are new"
  fail_with_lines "$work/$fs.unsaved"
  case_end
done
