#include "cli/page_list.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

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
  for (const std::string& path : paths) {
    std::variant<PathKind, IoError> kind = kind_of(path);
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
