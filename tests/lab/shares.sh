# Network shares served and mounted over loopback inside the lab guest (sourced by guest-side
# suites and benchmarks, run as root): a Samba server, the kernel NFS server and sshd, and the
# client mounts of each (mount.cifs, mount.nfs, sshfs).
#
# Usage (after `source tests/lab/shares.sh`):
#   start_samba NAME=PATH...             serve each PATH as share NAME (users root and webuser)
#   mount_smb VERS OPTS NAME MOUNTPOINT  mount.cifs of share NAME as SMB VERS (3.1.1, 1.0...)
#   start_nfs PATH:OPTIONS...            export each PATH to 127.0.0.1 with those options
#   mount_nfs VERS PATH MOUNTPOINT       mount export PATH as NFS VERS (3, 4.2...)
#   start_sshd                           sshd on 127.0.0.1, key login for root and webuser
#   mount_sshfs USER PATH MOUNTPOINT     sshfs of PATH as remote USER, mounted by local USER
#   stop_shares                          unmount what these functions mounted, stop the servers
# Everything they write lives under $QV_SHARES_STATE (default /tmp/qv-shares).

QV_SHARES_STATE=${QV_SHARES_STATE:-/tmp/qv-shares}
QV_SMB_PASSWORD=qv-lab # a throwaway password for a server that listens on loopback only
mkdir -p "$QV_SHARES_STATE"
# What to undo, one "mount PATH" or "nfs" a line: kept in a file, so that mounts made in subshells
# (a suite's cases) are undone too.
QV_SHARES_UNDO=$QV_SHARES_STATE/undo
touch "$QV_SHARES_UNDO"

# Waits up to $2 seconds (default 60) for a TCP port on 127.0.0.1 to accept connections.
wait_for_port() {
  local port=$1 limit=${2:-60} waited=0
  until (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do
    ((waited++ < limit * 5)) || { echo "nothing listens on port $port after ${limit}s" >&2; return 1; }
    sleep 0.2
  done
}

# Starts smbd with one share per NAME=PATH argument; SMB1 is allowed so that vers=1.0 mounts
# work, and modes set by clients are kept as they ask (create mask 0777).
start_samba() {
  local state=$QV_SHARES_STATE/samba conf share
  mkdir -p "$state"/{private,lock,state,cache,pid,ncalrpc}
  conf=$state/smb.conf
  cat >"$conf" <<EOF
[global]
  server role = standalone server
  workgroup = QVLAB
  interfaces = lo
  bind interfaces only = yes
  smb ports = 445
  disable netbios = yes
  server min protocol = NT1
  unix extensions = yes
  map to guest = never
  load printers = no
  printing = bsd
  printcap name = /dev/null
  disable spoolss = yes
  passdb backend = tdbsam
  private dir = $state/private
  lock directory = $state/lock
  state directory = $state/state
  cache directory = $state/cache
  pid directory = $state/pid
  ncalrpc dir = $state/ncalrpc
  log file = $state/smbd.log
  log level = 1
EOF
  for share in "$@"; do
    printf '[%s]\n  path = %s\n  read only = no\n  create mask = 0777\n  directory mask = 0777\n' \
      "${share%%=*}" "${share#*=}" >>"$conf"
  done
  for user in root webuser; do
    printf '%s\n%s\n' "$QV_SMB_PASSWORD" "$QV_SMB_PASSWORD" |
      smbpasswd -c "$conf" -s -a "$user" >/dev/null
  done
  smbd -D -s "$conf"
  wait_for_port 445 || { tail -20 "$state/smbd.log" >&2; return 1; }
}

# Mounts share NAME as SMB version VERS with the extra mount options OPTS (comma-separated,
# may be empty; they must include username= unless root's account is wanted). Each mount has its
# own connection (nosharesock): an SMB1 mount with Unix extensions switches its connection's
# server to POSIX path names, and an SMB1 mount without them sharing it would see empty folders.
mount_smb() {
  local vers=$1 opts=$2 name=$3 mountpoint=$4
  mkdir -p "$mountpoint"
  case ",$opts," in *,username=*) ;; *) opts="username=root${opts:+,$opts}" ;; esac
  mount -t cifs "//127.0.0.1/$name" "$mountpoint" \
    -o "vers=$vers,nosharesock,password=$QV_SMB_PASSWORD,$opts" || return 1
  echo "mount $mountpoint" >>"$QV_SHARES_UNDO"
}

# Starts the kernel NFS server (versions 3 and 4) exporting each PATH:OPTIONS to 127.0.0.1.
# Grace and lease times are cut to the minimum so that the first opens do not wait 90 s.
start_nfs() {
  local entry fsid=1
  modprobe -q nfsd 2>/dev/null || true
  mountpoint -q /proc/fs/nfsd || mount -t nfsd nfsd /proc/fs/nfsd
  echo 10 >/proc/fs/nfsd/nfsv4leasetime
  echo 10 >/proc/fs/nfsd/nfsv4gracetime
  modprobe -q lockd 2>/dev/null || true
  [[ -w /proc/sys/fs/nfs/nlm_grace_period ]] && echo 10 >/proc/sys/fs/nfs/nlm_grace_period
  mkdir -p /run/rpcbind /var/lib/nfs/v4recovery /var/lib/nfs/sm /var/lib/nfs/sm.bak
  : >/etc/exports
  rpcbind -w
  rpc.statd --no-notify
  for entry in "$@"; do
    exportfs -o "${entry#*:},fsid=$((fsid++))" "127.0.0.1:${entry%%:*}"
  done
  rpc.mountd
  rpc.nfsd 4
  echo nfs >>"$QV_SHARES_UNDO"
  wait_for_port 2049
}

# Mounts export PATH as NFS version VERS over TCP.
mount_nfs() {
  local vers=$1 path=$2 mountpoint=$3
  mkdir -p "$mountpoint"
  mount -t nfs -o "vers=$vers,proto=tcp" "127.0.0.1:$path" "$mountpoint" || return 1
  echo "mount $mountpoint" >>"$QV_SHARES_UNDO"
}

# Starts sshd on 127.0.0.1:22 with key login (and SFTP) for root and webuser; their keys are
# $QV_SHARES_STATE/ssh/id_USER, each readable by its user only.
start_sshd() {
  local state=$QV_SHARES_STATE/ssh user
  mkdir -p "$state/authorized" /run/sshd
  # Keys left by an earlier start in the same boot would make ssh-keygen ask whether to overwrite.
  rm -f "$state"/host_key* "$state"/id_*
  # One host key, of the kind that is made at once (an RSA key takes many seconds under emulation).
  ssh-keygen -q -t ed25519 -N '' -f "$state/host_key"
  for user in root webuser; do
    # A locked password ("!") bars key logins too when PAM is off; "*" only bars passwords.
    usermod -p '*' "$user"
    ssh-keygen -q -t ed25519 -N '' -f "$state/id_$user"
    cp "$state/id_$user.pub" "$state/authorized/$user"
    chown "$user" "$state/id_$user"
  done
  cat >"$state/sshd_config" <<EOF
HostKey $state/host_key
ListenAddress 127.0.0.1
Port 22
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
AuthorizedKeysFile $state/authorized/%u
Subsystem sftp internal-sftp
EOF
  echo "PidFile $state/sshd.pid" >>"$state/sshd_config"
  /usr/sbin/sshd -f "$state/sshd_config" -E "$state/sshd.log"
  wait_for_port 22 || { tail -20 "$state/sshd.log" >&2; return 1; }
}

# Mounts PATH of this machine through sshfs as remote USER, the mount made by local USER (root's
# with allow_other, so that other local users may reach it too).
mount_sshfs() {
  local user=$1 path=$2 mountpoint=$3 opts
  opts="IdentityFile=$QV_SHARES_STATE/ssh/id_$user,BatchMode=yes,StrictHostKeyChecking=no"
  opts+=",UserKnownHostsFile=/dev/null,LogLevel=ERROR"
  mkdir -p "$mountpoint"
  if [[ $user == root ]]; then
    sshfs -o "$opts,allow_other" "root@127.0.0.1:$path" "$mountpoint" || return 1
  else
    chown "$user" "$mountpoint"
    setpriv --reuid="$user" --regid="$user" --init-groups --reset-env \
      sshfs -o "$opts" "$user@127.0.0.1:$path" "$mountpoint" || return 1
  fi
  echo "mount $mountpoint" >>"$QV_SHARES_UNDO"
}

# Unmounts every share mounted above (last first) and stops the servers.
stop_shares() {
  local kind path pidfile
  tac "$QV_SHARES_UNDO" | while read -r kind path; do
    case $kind in
      mount) umount "$path" 2>/dev/null || umount -l "$path" 2>/dev/null || true ;;
      nfs) rpc.nfsd 0 || true; exportfs -ua || true ;;
    esac
  done
  : >"$QV_SHARES_UNDO"
  for pidfile in "$QV_SHARES_STATE"/samba/pid/smbd.pid "$QV_SHARES_STATE"/ssh/sshd.pid; do
    if [[ -f $pidfile ]]; then kill "$(cat "$pidfile")" 2>/dev/null || true; fi
  done
}
