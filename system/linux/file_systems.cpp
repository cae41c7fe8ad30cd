#include "system/linux/file_systems.h"

#include <fstream>
#include <iterator>
#include <vector>

#include "system/volumes.h"

namespace qv::sys {
namespace {

// statfs magic numbers (linux/magic.h and the file systems' own sources).
constexpr unsigned long kExt = 0xEF53, kXfs = 0x58465342, kBtrfs = 0x9123683E, kTmpfs = 0x01021994,
                        kRamfs = 0x858458F6, kF2fs = 0xF2F52010, kZfs = 0x2FC12FC1,
                        kBcachefs = 0xCA451A4E, kJfs = 0x3153464A, kReiserfs = 0x52654973,
                        kOverlay = 0x794C7630;
constexpr unsigned long kMsdos = 0x4D44, kExfat = 0x2011BAB0, kNtfs = 0x5346544E,
                        kNtfs3 = 0x7366746E;
constexpr unsigned long kNfs = 0x6969, kSmb = 0x517B, kCifs = 0xFF534D42, kSmb2 = 0xFE534D42,
                        kFuse = 0x65735546, kV9fs = 0x01021997, kCeph = 0x00C36400,
                        kAfs = 0x5346414F, kCoda = 0x73757245;

}  // namespace

FileSystemTraits traits_of_file_system(unsigned long magic) {
  FileSystemTraits local;  // journaled or memory file systems: the defaults
  FileSystemTraits remote;
  // A flush of the whole mount may not reach the server, and a server may refuse to replace a
  // file still open: each file is flushed by itself and the page let go before its replacement.
  remote.can.flush = FlushScope::each_file;
  remote.can.page_release = PageRelease::before_replace;
  remote.can.shared = true;
  remote.ownership = Ownership::mount_may_decide;
  switch (magic) {
    case kExt:
    case kXfs:
    case kBtrfs:
    case kTmpfs:
    case kRamfs:
    case kF2fs:
    case kZfs:
    case kBcachefs:
    case kJfs:
    case kReiserfs:
    case kOverlay:
      return local;
    case kMsdos:
    case kExfat: {
      // No journal: a rename over a page is not one step on the disk.
      FileSystemTraits fat = local;
      fat.can.replace = ReplaceStep::remove_then_rename;
      fat.ownership = Ownership::mount;
      // FAT's sync of the whole mount writes its buffers but never asks the disk to empty its
      // cache; its flush of one file does.
      if (magic == kMsdos) fat.can.flush = FlushScope::each_file;
      return fat;
    }
    case kNtfs:
    case kNtfs3: {
      FileSystemTraits ntfs = local;
      ntfs.ownership = Ownership::mount;
      return ntfs;
    }
    case kNfs:
    case kSmb:
    case kCifs:
    case kSmb2:
    case kFuse:
    case kV9fs:
    case kCeph:
    case kAfs:
    case kCoda:
    default:
      return remote;
  }
}

std::string mount_words_for(const std::string& folder) {
  std::ifstream in("/proc/self/mountinfo");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::vector<MountEntry> mounts = parse_mountinfo(text);
  const MountEntry* best = nullptr;
  // The last mount on the longest mount point that holds the folder is the one it is on.
  for (const MountEntry& mount : mounts) {
    const std::string& point = mount.mount_point;
    const bool holds = folder == point || point == "/" || folder.starts_with(point + "/");
    if (holds && (best == nullptr || point.size() >= best->mount_point.size())) best = &mount;
  }
  if (best == nullptr) return folder;
  return best->mount_point + " (" + best->fs_type + ")";
}

}  // namespace qv::sys
