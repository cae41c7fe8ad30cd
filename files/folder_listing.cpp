// POSIX listing: readdir gives each name and, on most file systems, its type without a further
// look-up; only links and entries of unknown type are looked at with fstatat.
#include "files/folder_listing.h"

#include <algorithm>
#include <optional>
#include <sys/stat.h>
#include <utility>

#include <dirent.h>
#include <fcntl.h>

#include "files/file_pattern.h"

namespace qv {
namespace {

enum class EntryKind { file, folder };

// The kind of the entry `name` of the open folder, links followed; none for anything else, or
// for a link that leads nowhere.
std::optional<EntryKind> kind_of(DIR* folder, const dirent& entry) {
  unsigned char type = entry.d_type;
  if (type == DT_LNK || type == DT_UNKNOWN) {
    struct stat info {};
    if (::fstatat(::dirfd(folder), entry.d_name, &info, 0) != 0) return std::nullopt;
    type = S_ISREG(info.st_mode) ? DT_REG : S_ISDIR(info.st_mode) ? DT_DIR : DT_UNKNOWN;
  }
  if (type == DT_REG) return EntryKind::file;
  if (type == DT_DIR) return EntryKind::folder;
  return std::nullopt;
}

template <typename Accept>
std::vector<std::string> list_entries(const std::string& folder, EntryKind kind, Accept accept) {
  std::vector<std::string> names;
  DIR* listing = ::opendir(folder.c_str());
  if (listing == nullptr) return names;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string_view name = entry->d_name;
    if (name.empty() || name.front() == '.') continue;  // hidden, and "." and ".."
    if (!accept(name)) continue;
    if (kind_of(listing, *entry) == kind) names.emplace_back(name);
  }
  ::closedir(listing);
  sort_names(names);
  return names;
}

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

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
