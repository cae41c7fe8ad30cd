#include "files/path.h"

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

}  // namespace qv
