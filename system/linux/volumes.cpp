// The mounted volumes, from the kernel's mount table and udev's label links.
#include "system/volumes.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace qv {
namespace {

namespace fs = std::filesystem;

// Decodes the "\ooo" escapes of a mountinfo field.
std::string decode_octal(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      std::string_view digits = field.substr(i + 1, 3);
      if (std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '7'; })) {
        out.push_back(
            static_cast<char>((digits[0] - '0') * 64 + (digits[1] - '0') * 8 + (digits[2] - '0')));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return out;
}

// Decodes the "\xNN" escapes udev writes in the names of /dev/disk/by-label.
std::string decode_hex(std::string_view name) {
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' && hex(name[i + 2]) >= 0 &&
        hex(name[i + 3]) >= 0) {
      out.push_back(static_cast<char>(hex(name[i + 2]) * 16 + hex(name[i + 3])));
      i += 3;
    } else {
      out.push_back(name[i]);
    }
  }
  return out;
}

std::vector<std::string_view> split_spaces(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  while (start < line.size()) {
    std::size_t end = line.find(' ', start);
    if (end == std::string_view::npos) end = line.size();
    if (end > start) fields.push_back(line.substr(start, end - start));
    start = end + 1;
  }
  return fields;
}

// File systems that hold no user files: the kernel's views of itself, memory file systems, and the
// read-only images that package systems mount by the dozen.
constexpr std::array<std::string_view, 31> kNotBrowsable{"autofs",      "binfmt_misc",
                                                         "bpf",         "cgroup",
                                                         "cgroup2",     "configfs",
                                                         "debugfs",     "devpts",
                                                         "devtmpfs",    "efivarfs",
                                                         "fusectl",     "hugetlbfs",
                                                         "mqueue",      "nsfs",
                                                         "overlay",     "proc",
                                                         "pstore",      "ramfs",
                                                         "rpc_pipefs",  "securityfs",
                                                         "selinuxfs",   "squashfs",
                                                         "sysfs",       "tmpfs",
                                                         "tracefs",     "fuse.gvfsd-fuse",
                                                         "fuse.portal", "fuse.lxcfs",
                                                         "nfsd",        "none",
                                                         "rootfs"};

bool browsable_type(std::string_view type) {
  return std::find(kNotBrowsable.begin(), kNotBrowsable.end(), type) == kNotBrowsable.end();
}

std::string canonical_or_empty(const fs::path& path) {
  std::error_code error;
  fs::path resolved = fs::canonical(path, error);
  return error ? std::string() : resolved.string();
}

}  // namespace

std::vector<MountEntry> parse_mountinfo(std::string_view text) {
  std::vector<MountEntry> mounts;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::vector<std::string_view> fields = split_spaces(text.substr(start, end - start));
    start = end + 1;
    // id parent major:minor root mount-point options [optional fields...] - type source options
    auto separator = std::find(fields.begin(), fields.end(), "-");
    if (fields.size() < 5 || separator == fields.end() || fields.end() - separator < 3 ||
        separator - fields.begin() < 6)
      continue;
    mounts.push_back(
        {decode_octal(fields[4]), decode_octal(*(separator + 1)), decode_octal(*(separator + 2))});
  }
  return mounts;
}

std::vector<Volume> browsable_volumes(const std::vector<MountEntry>& mounts) {
  std::vector<Volume> volumes{{"/", ""}};
  // Later mounts hide earlier ones at the same place: walk backwards and keep the first seen.
  std::vector<std::string> seen{"/"};
  for (auto it = mounts.rbegin(); it != mounts.rend(); ++it) {
    if (std::find(seen.begin(), seen.end(), it->mount_point) != seen.end()) continue;
    seen.push_back(it->mount_point);
    if (it->mount_point.empty() || it->mount_point.front() != '/') continue;
    if (browsable_type(it->fs_type)) volumes.push_back({it->mount_point, ""});
  }
  std::sort(volumes.begin() + 1, volumes.end(),
            [](const Volume& a, const Volume& b) { return a.mount_point < b.mount_point; });
  return volumes;
}

std::vector<Volume> list_volumes() {
  std::ifstream in("/proc/self/mountinfo");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<MountEntry> mounts = parse_mountinfo(text);

  std::vector<Volume> volumes = browsable_volumes(mounts);
  std::erase_if(volumes, [](const Volume& volume) {
    std::error_code error;
    return volume.mount_point != "/" && !fs::is_directory(volume.mount_point, error);
  });

  // The label of a volume: the name of the by-label link that leads to its device.
  std::vector<std::pair<std::string, std::string>> labels;  // device, label
  std::error_code error;
  for (fs::directory_iterator it("/dev/disk/by-label", error);
       !error && it != fs::directory_iterator(); it.increment(error))
    labels.emplace_back(canonical_or_empty(it->path()), decode_hex(it->path().filename().string()));
  if (labels.empty()) return volumes;
  for (Volume& volume : volumes) {
    // The device mounted last at this place.
    auto mount = std::find_if(mounts.rbegin(), mounts.rend(), [&](const MountEntry& entry) {
      return entry.mount_point == volume.mount_point;
    });
    if (mount == mounts.rend() || mount->source.empty() || mount->source.front() != '/') continue;
    std::string device = canonical_or_empty(mount->source);
    for (const auto& [labelled, label] : labels)
      if (!device.empty() && labelled == device) volume.label = label;
  }
  return volumes;
}

}  // namespace qv
