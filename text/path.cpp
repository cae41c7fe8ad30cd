#include "text/path.h"

#include <vector>

namespace qv {

std::size_t name_start(std::string_view path) {
  for (std::size_t i = path.size(); i > 0; --i)
    if (is_separator(path[i - 1])) return i;
  return 0;
}

std::string folder_of(std::string_view path) {
  const std::size_t start = name_start(path);
  return start == 0 ? std::string(".") : std::string(path.substr(0, start));
}

std::string with_trailing_separator(std::string_view folder) {
  std::string joined(folder);
  if (joined.empty() || !is_separator(joined.back())) joined += kFolderSeparator;
  return joined;
}

std::string folder_join(std::string_view folder, std::string_view name) {
  std::string joined = with_trailing_separator(folder);
  joined += name;
  return joined;
}

namespace {

// The length of the part of `path` that names its root: "/" here; on Windows a drive ("C:"), or
// \\server for a network path, followed by its separator when there is one. 0 when relative.
std::size_t root_length(std::string_view path) {
  std::size_t end = 0;
#ifdef _WIN32
  if (path.size() >= 2 && path[1] == ':') {
    end = 2;
  } else if (path.size() > 2 && is_separator(path[0]) && is_separator(path[1]) &&
             !is_separator(path[2])) {
    end = 2;
    while (end < path.size() && !is_separator(path[end])) ++end;
  }
#endif
  if (end < path.size() && is_separator(path[end])) ++end;
  return end;
}

}  // namespace

std::string normal_path(std::string_view path) {
  const std::size_t root_end = root_length(path);
  std::string root(path.substr(0, root_end));
  for (char& c : root)
    if (is_separator(c)) c = kFolderSeparator;
  const bool rooted = !root.empty() && is_separator(root.back());

  std::vector<std::string_view> names;
  std::size_t start = root_end;
  while (start < path.size()) {
    std::size_t end = start;
    while (end < path.size() && !is_separator(path[end])) ++end;
    const std::string_view name = path.substr(start, end - start);
    if (name == "..") {
      if (!names.empty() && names.back() != "..")
        names.pop_back();
      else if (!rooted)
        names.push_back(name);
    } else if (!name.empty() && name != ".") {
      names.push_back(name);
    }
    start = end + 1;
  }

  std::string normal = std::move(root);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) normal += kFolderSeparator;
    normal += names[i];
  }
  return normal.empty() ? std::string(".") : normal;
}

}  // namespace qv
