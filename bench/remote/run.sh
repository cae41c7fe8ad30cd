#!/usr/bin/env bash
# Times the command line against perl -0777 -pi, GNU sed -z -i and the C floor (bench/floor.c) on
# pages that live on a remote mount: NFSv4.2, sshfs and SMB3, each served and mounted over the lab
# guest's loopback, with netem adding a delay to every packet on lo (a round trip crosses lo twice,
# so it costs twice the delay; the script measures it with TCP connects and prints it). Each round
# gives every tool a fresh copy of the pages (made on the server's side, off the timed path), runs
# the tools in their order rotated by the round, checks that every tool leaves the bytes the
# command line leaves, and counts what crossed the link (lo packets; NFS calls; SMB requests) and
# how busy the guest's processors were (client, server and network stack share them). A tool that
# fails (perl -pi on SMB3, which renames over the page it still holds open) is reported as failed,
# and the other tools go on. Prints a Markdown table per mount and delay, and appends it to --out.
# Not part of CI (slow).
#
# Guest side, as root, from the checkout's top folder; the programs come from a Release build:
#   cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_BENCH=ON \
#     -DQV_BUILD_GUI=OFF && cmake --build build-bench --target quorvane-insert-cli qv_floor
#   tools/lab/guest-run.sh --timeout 7200 -- bash bench/remote/run.sh [options]
# Options:
#   --build DIR     the build holding cli/quorvane-insert-cli and bench/qv_floor (build-bench)
#   --runs LIST     mount:delay pairs, the delay in ms each way (nfs:2,nfs:10,sshfs:2,sshfs:10,smb:2)
#   --pages LIST    small (1,000 pages of 20 KB), large (20 pages of 1 MB) (small,large)
#   --small N       pages in the small workload (1000), for a quick try
#   --tools LIST    cli,perl,sed,floor, and base: another command line given by --base (all four)
#   --base PATH     a second quorvane-insert-cli to time beside this one (an earlier build)
#   --rounds N      rounds per mount, delay and workload (3)
#   --out FILE      where the tables are appended (build-bench/remote-results.md)
set -euo pipefail

build="build-bench"
runs=nfs:2,nfs:10,sshfs:2,sshfs:10,smb:2
workloads=small,large
tools=cli,perl,sed,floor
base=
rounds=3
small=1000
out=
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --pages) workloads=$2; shift 2 ;;
    --tools) tools=$2; shift 2 ;;
    --base) base=$(realpath "$2"); shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    --small) small=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2 ;;
  esac
done
build=$(realpath "$build")
out=${out:-$build/remote-results.md}
cli=$build/cli/quorvane-insert-cli
floor=$build/bench/qv_floor
for program in "$cli" "$floor" ${base:+"$base"}; do
  [ -x "$program" ] || { echo "run.sh: $program is missing (see the usage)" >&2; exit 2; }
done

# The share helpers: start_nfs, mount_nfs, start_samba, mount_smb, start_sshd, mount_sshfs.
# shellcheck source=/dev/null
source "${QV_SHARES_LIB:-tests/lab/shares.sh}"
trap 'tc qdisc del dev lo root 2>/dev/null || true; stop_shares' EXIT

top=${QV_BENCH_TOP:-/srv/qv-bench} # on the guest's own disk: the servers' side of every mount
export_dir=$top/export
rm -rf "$top"
mkdir -p "$export_dir"
chmod 755 "$top" "$export_dir"

# ---------------------------------------------------------------------------- pages and peers

snippet=$top/snippet.txt
printf '<script>var quorvaneSite = "bench"; (function () { count(1); })();</script>' >"$snippet"
LC_ALL=C perl -0777 -ne 's{([\\/&])}{\\$1}g; s/\r/\\r/g; s/\n/\\n/g;
  print "s/\\(.*\\)<\\/body>/\\1\\r\\n$_\\r\\n<\\/body>/\n"' "$snippet" >"$top/insert.sed"

# Writes N pages of about SIZE bytes into FOLDER: HTML text, LF or CR LF lines, Latin-1 and UTF-8
# bytes, the tag near the end; one page in 20 has no tag. Deterministic.
make_pages() {
  local folder=$1 count=$2 size=$3
  mkdir -p "$folder"
  perl -e '
    my ($folder, $count, $size) = @ARGV;
    for my $i (1 .. $count) {
      my $eol = $i % 3 ? "\n" : "\r\n";
      my $page = "<!DOCTYPE html>$eol<html><head><title>Page $i</title></head>$eol<body>$eol";
      my $line = 0;
      while (length($page) < $size - 40) {
        $page .= "<p class=\"t\">Line $line of page $i: caf\xe9, na\xc3\xafve, \x{26} more.</p>$eol";
        ++$line;
      }
      $page .= ($i % 20 == 7 ? "</div>" : "</body>") . "$eol</html>$eol";
      open(my $out, ">:raw", sprintf("%s/page-%05d.html", $folder, $i)) or die "$folder: $!";
      print $out $page;
      close($out) or die;
    }' "$folder" "$count" "$size"
}
make_pages "$top/master-small" "$small" 20480
make_pages "$top/master-large" 20 1048576

# Runs TOOL over the pages of the current folder.
run_tool() {
  case $1 in
    cli) "$cli" -q --no-verify --tag '</body>' "$snippet" . ;;
    base) "$base" -q --no-verify --tag '</body>' "$snippet" . ;;
    floor) "$floor" "$snippet" . ;;
    perl)
      QV_SNIPPET=$(cat "$snippet") \
        perl -0777 -pi -e 's/(.*)<\/body>/$1\r\n$ENV{QV_SNIPPET}\r\n<\/body>/s' -- "${names[@]}" ;;
    sed) LC_ALL=C sed -z -i -f "$top/insert.sed" -- "${names[@]}" ;;
    *) echo "run.sh: unknown tool $1" >&2; return 2 ;;
  esac
}

# ------------------------------------------------------------------------------ measurements

now() { date +%s.%N; }
# Evaluates an arithmetic expression with awk (no bc in the guest).
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
# Processor time (user + system, seconds) of this shell's finished children so far (not from a
# command substitution, whose shell has children of its own).
children_cpu() {
  times >"$top/times"
  awk 'NR == 2 { for (i = 1; i <= 2; i++) { split($i, p, /[ms]/); s += p[1] * 60 + p[2] } }
    END { printf "%.3f", s }' "$top/times"
}
# Jiffies of the guest's processors so far: "busy total" (busy is all but idle and I/O wait).
cpu_jiffies() {
  awk '$1 == "cpu" { t = 0; for (i = 2; i <= 9; i++) t += $i; print t - $5 - $6, t }' /proc/stat
}
lo_packets() { awk '$1 == "lo:" { print $3 }' /proc/net/dev; }
# Remote calls so far: NFS RPCs of every version, or SMB requests, by the client's own counts.
nfs_calls() { awk '$1 ~ /^proc[234]$/ { for (i = 3; i <= NF; i++) s += $i } END { print s + 0 }' \
  /proc/net/rpc/nfs 2>/dev/null || echo 0; }
smb_calls() { grep -o 'SMBs: [0-9]*' /proc/fs/cifs/Stats 2>/dev/null |
  awk '{ s += $2 } END { print s + 0 }'; }
calls() { case $1 in nfs) nfs_calls ;; smb) smb_calls ;; *) echo 0 ;; esac; }

# The round trip on lo now, in ms: the median of 15 TCP connects (one SYN, one SYN-ACK) to PORT.
round_trip_ms() {
  perl -MTime::HiRes=time -MIO::Socket::INET -e '
    my @t;
    for (1 .. 15) {
      my $start = time;
      IO::Socket::INET->new(PeerAddr => "127.0.0.1", PeerPort => $ARGV[0]) or die "connect: $!";
      push @t, (time - $start) * 1000;
    }
    @t = sort { $a <=> $b } @t;
    printf "%.1f", $t[7];' "$1"
}

# The median of the numbers in the words of $1.
med_of() {
  tr ' ' '\n' <<<"$1" | grep . | sort -g |
    awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'
}

# ---------------------------------------------------------------------------------- the runs

# Each server started and mounted once; "local" runs on the servers' folder itself (a check of
# the script, or the figures without a network).
if [[ ,$runs, == *,nfs:* ]]; then
  start_nfs "$export_dir:rw,sync,no_root_squash,no_subtree_check"
  mount_nfs 4.2 "$export_dir" /mnt/qv-nfs
fi
if [[ ,$runs, == *,sshfs:* ]]; then
  start_sshd
  mount_sshfs root "$export_dir" /mnt/qv-sshfs
fi
if [[ ,$runs, == *,smb:* ]]; then
  start_samba "qvbench=$export_dir"
  mount_smb 3.1.1 "" qvbench /mnt/qv-smb
fi

IFS=, read -r -a tool_list <<<"$tools"
[[ ,$tools, == *,cli,* ]] || { echo "run.sh: --tools must hold cli (the reference)" >&2; exit 2; }
{
  echo
  echo "### Remote mounts, $(date -u '+%Y-%m-%d %H:%M UTC'), $rounds rounds"
  echo
  echo "Guest: $(nproc) processors under QEMU, kernel $(uname -r); tools: ${tools}."
} | tee -a "$out"

for run in ${runs//,/ }; do
  fs=${run%%:*}
  delay=${run#*:}
  mnt=/mnt/qv-$fs
  [ "$fs" != local ] || mnt=$export_dir
  tc qdisc del dev lo root 2>/dev/null || true
  rtt=0
  if [ "$fs" != local ]; then
    modprobe -q sch_netem || true
    tc qdisc add dev lo root netem delay "${delay}ms" limit 100000
    rtt=$(round_trip_ms "$(case $fs in nfs) echo 2049 ;; sshfs) echo 22 ;; smb) echo 445 ;; esac)")
  fi
  for workload in ${workloads//,/ }; do
    master=$top/master-$workload
    mapfile -t names <<<"$(cd "$master" && ls)"
    count=${#names[@]}
    declare -A seconds=() cpu=() packets=() remote=() ratio=() busy=() failed=()
    for ((r = 0; r < rounds; r++)); do
      order=("${tool_list[@]:r % ${#tool_list[@]}}" "${tool_list[@]:0:r % ${#tool_list[@]}}")
      for tool in "${order[@]}"; do
        work=$export_dir/$tool-$r
        rm -rf "$work"
        cp -a "$master" "$work"
        sync -f "$export_dir"
        ( cd "$mnt" && ls "$tool-$r" >/dev/null ) # the client meets the new folder
        p0=$(lo_packets)
        c0=$(calls "$fs")
        read -r j0 k0 < <(cpu_jiffies)
        t0=$(now)
        children_cpu >"$top/cpu0"
        if ! (cd "$mnt/$tool-$r" && run_tool "$tool" >/dev/null); then
          echo "run.sh: $tool failed ($fs, $workload)" >&2
          failed[$tool]=1
        fi
        sync -f "$mnt/$tool-$r"
        t1=$(now)
        children_cpu >"$top/cpu1"
        c1=$(calls "$fs")
        read -r j1 k1 < <(cpu_jiffies)
        busy[$tool]+="$(calc "100 * ($j1 - $j0) / ($k1 - $k0)") "
        p1=$(lo_packets)
        seconds[$tool]+="$(calc "$t1 - $t0") "
        cpu[$tool]+="$(calc "$(cat "$top/cpu1") - $(cat "$top/cpu0")") "
        packets[$tool]+="$((p1 - p0)) "
        remote[$tool]+="$((c1 - c0)) "
      done
      # Every tool leaves the same files as the command line, byte for byte, and nothing else.
      for tool in "${tool_list[@]}"; do
        [ -z "${failed[$tool]:-}" ] || continue
        if ! differences=$(diff -rq "$export_dir/cli-$r" "$export_dir/$tool-$r"); then
          echo "run.sh: $tool left other files than the command line ($fs, $workload):" >&2
          head -5 <<<"$differences" >&2
          exit 1
        fi
      done
      for tool in "${tool_list[@]}"; do rm -rf "$export_dir/$tool-$r"; done
      for tool in "${tool_list[@]}"; do
        t_tool=$(awk -v r=$r '{ print $(r + 1) }' <<<"${seconds[$tool]}")
        t_cli=$(awk -v r=$r '{ print $(r + 1) }' <<<"${seconds[cli]}")
        ratio[$tool]+="$(calc "$t_tool / $t_cli") "
      done
    done
    {
      echo
      echo "#### $fs, ${delay} ms each way on lo (round trip measured: ${rtt} ms), $count pages, $(du -sh --apparent-size "$master" | cut -f1) in all"
      echo
      echo "| Tool | Median time | Time / command line's | Per page | Per page, in round trips | Processor time | Guest processors busy | lo packets per page | $fs calls per page |"
      echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|"
      for tool in "${tool_list[@]}"; do
        if [ -n "${failed[$tool]:-}" ]; then
          echo "| $tool | failed (see its message) | | | | | | | |"
          continue
        fi
        t=$(med_of "${seconds[$tool]}")
        printf '| %s | %.2f s | x%.2f | %.1f ms | %.1f | %.2f s | %.0f%% | %.1f | %.1f |\n' "$tool" "$t" \
          "$(med_of "${ratio[$tool]}")" "$(calc "$t * 1000 / $count")" \
          "$(calc "($rtt > 0 ? $t * 1000 / $count / $rtt : 0)")" "$(med_of "${cpu[$tool]}")" \
          "$(med_of "${busy[$tool]}")" \
          "$(calc "$(med_of "${packets[$tool]}") / $count")" \
          "$(calc "$(med_of "${remote[$tool]}") / $count")"
      done
      echo
      echo "Rounds, seconds: $(for tool in "${tool_list[@]}"; do printf '%s [%s] ' "$tool" "${seconds[$tool]% }"; done)"
    } | tee -a "$out"
    unset seconds cpu packets remote ratio busy failed
  done
done
tc qdisc del dev lo root 2>/dev/null || true
