#include "cli/page_list.h"

#include <unordered_map>
#include <unordered_set>

#include "files/folder_listing.h"
#include "text/path.h"

namespace qv::cli {
namespace {

// Many paths in one folder, as a shell's wildcard gives them, are mostly its regular files: one
// listing of the folder shows that of all of them, where a look-up each would cost a system call
// a page. Fewer paths are looked up one by one.
constexpr std::size_t kPathsWorthAListing = 64;

// Which of `paths` their folder's listing shows to be regular files; the others are unknown.
std::vector<bool> listed_as_files(std::span<const std::string> paths) {
  std::unordered_map<std::string_view, std::vector<std::size_t>> by_folder;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const std::string_view path = paths[i];
    const std::string_view name = path.substr(name_start(path));
    if (name.empty() || name == "." || name == "..") continue;
    by_folder[path.substr(0, path.size() - name.size())].push_back(i);
  }
  std::vector<bool> known(paths.size(), false);
  for (const auto& [folder, indices] : by_folder) {
    if (indices.size() < kPathsWorthAListing) continue;
    const std::vector<std::string> files =
        regular_file_entries(folder.empty() ? "." : std::string(folder));
    const std::unordered_set<std::string_view> names(files.begin(), files.end());
    for (std::size_t i : indices)
      known[i] = names.contains(std::string_view(paths[i]).substr(folder.size()));
  }
  return known;
}

}  // namespace

std::variant<std::vector<std::string>, IoError> list_pages(std::span<const std::string> paths,
                                                           std::string_view pattern,
                                                           Recursion recursion,
                                                           const UnlistableFolder& unlistable) {
  std::vector<PathKind> kinds;
  kinds.reserve(paths.size());
  const std::vector<bool> files = listed_as_files(paths);
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (files[i]) {
      kinds.push_back(PathKind::page);
      continue;
    }
    std::variant<PathKind, IoError> kind = path_kind(paths[i]);
    if (IoError* error = std::get_if<IoError>(&kind)) return std::move(*error);
    kinds.push_back(std::get<PathKind>(kind));
  }

  std::vector<std::string> pages;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (kinds[i] == PathKind::page) {
      pages.push_back(paths[i]);
    } else {
      std::vector<std::string> listed = list_folder_pages(paths[i], pattern, recursion, unlistable);
      pages.insert(pages.end(), std::make_move_iterator(listed.begin()),
                   std::make_move_iterator(listed.end()));
    }
  }
  return pages;
}

}  // namespace qv::cli
