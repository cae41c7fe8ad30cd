#include "window/listed_files.h"

#include "files/folder_listing.h"

namespace qv {

void ListedFiles::set_path(std::string_view path) {
  if (path == path_) return;
  path_ = path;
  relist();
}

void ListedFiles::set_pattern(std::string_view pattern) {
  if (pattern == pattern_) return;
  pattern_ = pattern;
  relist();
}

void ListedFiles::relist() {
  names_changing();
  names_ = path_.empty() ? std::vector<std::string>{} : list_files(path_, pattern_);
  show_names();
}

}  // namespace qv
