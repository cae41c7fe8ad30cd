#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qv {

// One line of the kernel's table of mounts (/proc/self/mountinfo), the fields the drive list uses.
struct MountEntry {
  std::string mount_point;
  std::string fs_type;
  std::string source;  // the device, e.g. "/dev/sda1"
};

// Parses the text of a mountinfo table, line by line, decoding the octal escapes ("\040" for a
// space) the kernel writes in paths. Lines that do not parse are skipped.
std::vector<MountEntry> parse_mountinfo(std::string_view text);

// A volume the drive list offers: where it is mounted and its label, empty when it has none.
struct Volume {
  std::string mount_point;
  std::string label;
};

// The volumes worth browsing among `mounts`: real file systems (disk, removable and network ones),
// without the kernel's pseudo file systems, memory file systems or read-only package images. The
// root "/" is always kept, first, whatever its type; the others follow in mount-point order. When
// a mount point is mounted over, the last mount wins.
std::vector<Volume> browsable_volumes(const std::vector<MountEntry>& mounts);

#ifdef _WIN32
// The drive as the drive list shows it: the lower-case letter and colon, then the label in
// brackets when it has one ("c: [SYSTEM]"); a root that is no drive letter is shown whole.
std::string drive_caption(const Volume& volume);
#endif

// On Windows: the drives ("C:\", ...) with their labels, in the system's order.
// Elsewhere: the machine's browsable volumes, each with its label from /dev/disk/by-label where it
// has one, leaving out mount points that are not folders (single files bound into a container).
// Never empty: "/" at least.
std::vector<Volume> list_volumes();

}  // namespace qv
