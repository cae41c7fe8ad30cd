#include "files/path.h"

namespace qv {

std::string with_trailing_separator(std::string_view folder) {
  std::string joined(folder);
  if (joined.empty() || joined.back() != kFolderSeparator) joined += kFolderSeparator;
  return joined;
}

std::string folder_join(std::string_view folder, std::string_view name) {
  std::string joined = with_trailing_separator(folder);
  joined += name;
  return joined;
}

}  // namespace qv
