"""A file system of a chosen kind in an image file, loop-mounted for a benchmark run."""

import os
import subprocess
import sys


class LoopFileSystem:
    """A journaled ext4 ("ext4j") or an XFS ("xfs") made in an image file under `build` and
    loop-mounted for the run; needs root. Entering gives the mount point; leaving unmounts it and
    deletes the image and the mount point."""

    def __init__(self, kind, build, size):
        self.kind, self.size = kind, size
        self.image = os.path.join(build, f"fs-{kind}.img")
        self.mount = os.path.join(build, f"fs-{kind}")
        self.device = None

    def __enter__(self):
        if os.geteuid() != 0:
            sys.exit("--fs needs root: it makes and mounts a file system")
        with open(self.image, "wb") as f:
            f.truncate(self.size)
        self.device = subprocess.run(["losetup", "--find", "--show", "--direct-io=on", self.image],
                                     check=True, capture_output=True, text=True).stdout.strip()
        mkfs = {"ext4j": ["mkfs.ext4", "-q", "-F", "-O", "has_journal"],
                "xfs": ["mkfs.xfs", "-q", "-f"]}[self.kind]
        subprocess.run([*mkfs, self.device], check=True)
        os.makedirs(self.mount, exist_ok=True)
        subprocess.run(["mount", self.device, self.mount], check=True)
        return self.mount

    def __exit__(self, *exception):
        subprocess.run(["umount", self.mount], check=False)
        if self.device:
            subprocess.run(["losetup", "--detach", self.device], check=False)
        os.remove(self.image)
        if os.path.isdir(self.mount) and not os.path.ismount(self.mount):
            os.rmdir(self.mount)
        return False
