// POSIX entries: readdir gives each name and, on most file systems, its type without a further
// look-up; only links and entries of unknown type are looked at with fstatat. Names starting with
// a dot are hidden.
#include "system/folder_entries.h"

#include <cerrno>
#include <cstring>
#include <optional>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace qv {
namespace {

IoError error_of(const std::string& path, int code) { return IoError{path, std::strerror(code)}; }

// The kind of the entry of the open folder, links followed unless `links` skips them; none for
// anything else, or for a link that leads nowhere.
std::optional<detail::EntryKind> kind_of(DIR* folder, const dirent& entry, detail::Links links) {
  unsigned char type = entry.d_type;
  if (type == DT_UNKNOWN && links == detail::Links::skip) {
    struct stat info {};
    if (::fstatat(::dirfd(folder), entry.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        S_ISLNK(info.st_mode))
      return std::nullopt;
  }
  if (type == DT_LNK && links == detail::Links::skip) return std::nullopt;
  if (type == DT_LNK || type == DT_UNKNOWN) {
    struct stat info {};
    if (::fstatat(::dirfd(folder), entry.d_name, &info, 0) != 0) return std::nullopt;
    type = S_ISREG(info.st_mode) ? DT_REG : S_ISDIR(info.st_mode) ? DT_DIR : DT_UNKNOWN;
  }
  if (type == DT_REG) return detail::EntryKind::file;
  if (type == DT_DIR) return detail::EntryKind::folder;
  return std::nullopt;
}

}  // namespace

namespace detail {

std::variant<std::vector<std::string>, IoError> read_entries(
    const std::string& folder, EntryKind kind, Links links,
    const std::function<bool(std::string_view)>& accept) {
  DIR* listing = ::opendir(folder.c_str());
  if (listing == nullptr) return error_of(folder, errno);
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string_view name = entry->d_name;
    if (name.empty() || name.front() == '.') continue;  // hidden, and "." and ".."
    if (!accept(name)) continue;
    if (kind_of(listing, *entry, links) == kind) names.emplace_back(name);
  }
  ::closedir(listing);
  return names;
}

}  // namespace detail

std::variant<PathKind, IoError> path_kind(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return error_of(path, errno);
  if (!S_ISDIR(info.st_mode)) return PathKind::page;
  // A folder given by name that cannot be opened is an error, not an empty list.
  DIR* probe = ::opendir(path.c_str());
  if (probe == nullptr) return error_of(path, errno);
  ::closedir(probe);
  return PathKind::folder;
}

std::vector<std::string> regular_file_entries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* listing = ::opendir(folder.c_str());
  if (listing == nullptr) return names;
  while (const dirent* entry = ::readdir(listing))
    if (entry->d_type == DT_REG) names.emplace_back(entry->d_name);
  ::closedir(listing);
  return names;
}

}  // namespace qv
