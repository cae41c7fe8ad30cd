#include "window/browsed_folders.h"

#include <utility>

namespace qv {

void BrowsedFolders::set_path(std::string_view path) {
  std::string folder = path.empty() ? std::string() : full_path(path);
  if (drives_.is_drive(folder)) folder = drives_.current_folder(folder);
  if (go(std::move(folder)) && on_change) on_change();
}

void BrowsedFolders::open_quietly(std::string_view folder) { go(full_path(folder)); }

void BrowsedFolders::set_volumes(const std::vector<Volume>& volumes) {
  std::vector<std::string> tops;
  for (const Volume& volume : volumes) tops.push_back(top_folder(volume));
  drives_.set_drives(std::move(tops));
}

bool BrowsedFolders::go(std::string folder) {
  if (folder == path_) return false;
  path_ = std::move(folder);
  drives_.visited(path_);
  show_folders();
  return true;
}

}  // namespace qv
