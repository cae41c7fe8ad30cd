#include "cli/page_list.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "files/folder_listing.h"
#include "files/path.h"

namespace qv::cli {
namespace {

namespace fs = std::filesystem;

enum class PathKind { page, folder };

IoError error_of(const std::string& path, const std::error_code& error) {
  return IoError{path, error.message()};
}

// Whether `path` names a folder (links followed) or something to be read as a page; the error
// when it does not exist or cannot be looked at.
std::variant<PathKind, IoError> kind_of(const std::string& path) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (status.type() == fs::file_type::not_found)
    return error ? error_of(path, error) : IoError{path, std::strerror(ENOENT)};
  if (error) return error_of(path, error);
  if (status.type() != fs::file_type::directory) return PathKind::page;
  // A folder given by name that cannot be opened is an error, not an empty list.
  fs::directory_iterator probe(path, error);
  if (error) return error_of(path, error);
  return PathKind::folder;
}

// Many paths in one folder, as a shell's wildcard gives them, are mostly its regular files: one
// listing of the folder shows that of all of them, where a look-up each would cost a system call
// a page. Fewer paths are looked up one by one.
constexpr std::size_t kPathsWorthAListing = 64;

// Which of `paths` their folder's listing shows to be regular files; the others are unknown.
std::vector<bool> listed_as_files(std::span<const std::string> paths) {
  std::unordered_map<std::string_view, std::vector<std::size_t>> by_folder;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const std::string_view path = paths[i];
    const std::size_t slash = path.find_last_of(kFolderSeparator == '/' ? "/" : "/\\");
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
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

void add_folder(const std::string& folder, std::string_view pattern, Recursion recursion,
                std::vector<std::string>& pages) {
  for (const std::string& name : list_files(folder, pattern))
    pages.push_back(folder_join(folder, name));
  if (recursion == Recursion::top_folder_only) return;
  for (const std::string& name : list_subfolders(folder)) {
    std::string subfolder = folder_join(folder, name);
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(subfolder, error)) || error) continue;
    add_folder(subfolder, pattern, recursion, pages);
  }
}

}  // namespace

std::variant<std::vector<std::string>, IoError> list_pages(std::span<const std::string> paths,
                                                           std::string_view pattern,
                                                           Recursion recursion) {
  std::vector<PathKind> kinds;
  kinds.reserve(paths.size());
  const std::vector<bool> files = listed_as_files(paths);
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (files[i]) {
      kinds.push_back(PathKind::page);
      continue;
    }
    std::variant<PathKind, IoError> kind = kind_of(paths[i]);
    if (IoError* error = std::get_if<IoError>(&kind)) return std::move(*error);
    kinds.push_back(std::get<PathKind>(kind));
  }

  std::vector<std::string> pages;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (kinds[i] == PathKind::page)
      pages.push_back(paths[i]);
    else
      add_folder(paths[i], pattern, recursion, pages);
  }
  return pages;
}

}  // namespace qv::cli
