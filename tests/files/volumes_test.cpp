// The drive list's volumes, from mount tables written the way the kernel writes them.
#include "system/volumes.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

std::vector<std::string> mount_points(const std::vector<Volume>& volumes) {
  std::vector<std::string> points;
  for (const Volume& volume : volumes) points.push_back(volume.mount_point);
  return points;
}

TEST(Mountinfo, readsMountPointTypeAndSourceThroughOptionalFieldsAndEscapes) {
  const std::vector<MountEntry> mounts = parse_mountinfo(
      "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
      "40 27 8:17 / /media/me/My\\040Stick rw,nosuid shared:7 master:2 - vfat /dev/sdb1 rw\n"
      "garbage line\n"
      "22 27 0:21 / /proc rw - proc proc rw");
  ASSERT_EQ(mounts.size(), 3u);
  EXPECT_EQ(mounts[0].mount_point, "/");
  EXPECT_EQ(mounts[0].fs_type, "ext4");
  EXPECT_EQ(mounts[0].source, "/dev/vda");
  EXPECT_EQ(mounts[1].mount_point, "/media/me/My Stick");
  EXPECT_EQ(mounts[1].fs_type, "vfat");
  EXPECT_EQ(mounts[1].source, "/dev/sdb1");
  EXPECT_EQ(mounts[2].fs_type, "proc");
}

TEST(Volumes, keepRealFileSystemsWithTheRootFirst) {
  const std::vector<Volume> volumes = browsable_volumes({
      {"/", "overlay", "overlay"},
      {"/proc", "proc", "proc"},
      {"/sys/fs/cgroup", "cgroup2", "cgroup2"},
      {"/snap/core/1", "squashfs", "/dev/loop0"},
      {"/tmp", "tmpfs", "tmpfs"},
      {"/srv/share", "nfs4", "server:/share"},
      {"/home", "ext4", "/dev/sda2"},
      {"/media/stick", "vfat", "/dev/sdb1"},
  });
  EXPECT_EQ(mount_points(volumes),
            (std::vector<std::string>{"/", "/home", "/media/stick", "/srv/share"}));
}

TEST(Volumes, aMountOverAnotherHidesIt) {
  EXPECT_EQ(mount_points(browsable_volumes({{"/", "ext4", "/dev/sda1"},
                                            {"/data", "ext4", "/dev/sdb1"},
                                            {"/data", "tmpfs", "tmpfs"},
                                            {"/backup", "tmpfs", "tmpfs"},
                                            {"/backup", "xfs", "/dev/sdc1"}})),
            (std::vector<std::string>{"/", "/backup"}));
}

TEST(Volumes, theMachinesListStartsWithTheRoot) {
  const std::vector<Volume> volumes = list_volumes();
  ASSERT_FALSE(volumes.empty());
  EXPECT_EQ(volumes.front().mount_point, "/");
}

}  // namespace
}  // namespace qv
