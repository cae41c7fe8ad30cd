// POSIX listing: readdir gives each name and, on most file systems, its type without a further
// look-up; only links and entries of unknown type are looked at with fstatat.
#include "files/folder_listing.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <utility>

#include <dirent.h>
#include <fcntl.h>

#include "files/file_pattern.h"
#include "files/path.h"

namespace qv {
namespace {

enum class EntryKind { file, folder };
enum class Links { follow, skip };

// The kind of the entry `name` of the open folder, links followed unless `links` skips them;
// none for anything else, or for a link that leads nowhere.
std::optional<EntryKind> kind_of(DIR* folder, const dirent& entry, Links links) {
  unsigned char type = entry.d_type;
  if (type == DT_UNKNOWN && links == Links::skip) {
    struct stat info {};
    if (::fstatat(::dirfd(folder), entry.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
      return std::nullopt;
    if (S_ISLNK(info.st_mode)) return std::nullopt;
  }
  if (type == DT_LNK && links == Links::skip) return std::nullopt;
  if (type == DT_LNK || type == DT_UNKNOWN) {
    struct stat info {};
    if (::fstatat(::dirfd(folder), entry.d_name, &info, 0) != 0) return std::nullopt;
    type = S_ISREG(info.st_mode) ? DT_REG : S_ISDIR(info.st_mode) ? DT_DIR : DT_UNKNOWN;
  }
  if (type == DT_REG) return EntryKind::file;
  if (type == DT_DIR) return EntryKind::folder;
  return std::nullopt;
}

IoError error_of(const std::string& path, int code) { return IoError{path, std::strerror(code)}; }

// The names of the entries of `folder` of the given kind that `accept` takes, sorted; the error
// in `failure` (when given) if the folder cannot be opened.
template <typename Accept>
std::vector<std::string> list_entries(const std::string& folder, EntryKind kind, Accept accept,
                                      Links links = Links::follow,
                                      std::optional<IoError>* failure = nullptr) {
  std::vector<std::string> names;
  DIR* listing = ::opendir(folder.c_str());
  if (listing == nullptr) {
    if (failure != nullptr) *failure = error_of(folder, errno);
    return names;
  }
  while (const dirent* entry = ::readdir(listing)) {
    const std::string_view name = entry->d_name;
    if (name.empty() || name.front() == '.') continue;  // hidden, and "." and ".."
    if (!accept(name)) continue;
    if (kind_of(listing, *entry, links) == kind) names.emplace_back(name);
  }
  ::closedir(listing);
  sort_names(names);
  return names;
}

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

void add_folder_pages(const std::string& folder, std::string_view pattern, Recursion recursion,
                      const UnlistableFolder& unlistable, std::vector<std::string>& pages) {
  std::optional<IoError> failure;
  const std::vector<std::string> files = list_entries(
      folder, EntryKind::file,
      [pattern](std::string_view name) { return matches_pattern(name, pattern); }, Links::follow,
      &failure);
  if (failure) {
    if (unlistable) unlistable(*failure);
    return;
  }
  for (const std::string& name : files) pages.push_back(folder_join(folder, name));
  if (recursion == Recursion::top_folder_only) return;
  const auto any = [](std::string_view) { return true; };
  for (const std::string& name : list_entries(folder, EntryKind::folder, any, Links::skip))
    add_folder_pages(folder_join(folder, name), pattern, recursion, unlistable, pages);
}

}  // namespace

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

std::vector<std::string> list_folder_pages(const std::string& folder, std::string_view pattern,
                                           Recursion recursion,
                                           const UnlistableFolder& unlistable) {
  std::vector<std::string> pages;
  add_folder_pages(folder, pattern, recursion, unlistable, pages);
  return pages;
}

void sort_names(std::vector<std::string>& names) {
  // Sorts (folded name, name) pairs: whole-string comparisons of the folded copies are much
  // cheaper than folding byte by byte inside every comparison.
  std::vector<std::pair<std::string, std::string>> keyed;
  keyed.reserve(names.size());
  for (std::string& name : names) {
    std::string folded = name;
    std::transform(folded.begin(), folded.end(), folded.begin(), fold);
    keyed.emplace_back(std::move(folded), std::move(name));
  }
  std::sort(keyed.begin(), keyed.end());
  for (std::size_t i = 0; i < names.size(); ++i) names[i] = std::move(keyed[i].second);
}

std::vector<std::string> list_files(const std::string& folder, std::string_view pattern) {
  return list_entries(folder, EntryKind::file,
                      [pattern](std::string_view name) { return matches_pattern(name, pattern); });
}

std::vector<std::string> list_subfolders(const std::string& folder) {
  return list_entries(folder, EntryKind::folder, [](std::string_view) { return true; });
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
