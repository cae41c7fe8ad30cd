#include "files/open_folders.h"

#include "files/dead_runs.h"

namespace qv {

std::variant<std::shared_ptr<OpenFolder>, IoError> PageFiles::Folders::open(
    const std::string& folder_path, const std::string& path) {
  std::lock_guard lock(mutex);
  if (auto found = by_path.find(folder_path); found != by_path.end()) return found->second;
  auto opened = sys::open_folder(folder_path, path);
  if (auto* error = std::get_if<IoError>(&opened)) return std::move(*error);
  auto folder = std::make_shared<OpenFolder>();
  folder->folder = std::get<0>(std::move(opened));
  folder->path = folder_path;
  folder->identity = sys::identity_of(*folder->folder);
  folder->can = sys::capabilities_of(*folder->folder);
  if (watch != nullptr) watch->folder_opened(folder->can);
  if (by_path.size() >= 16) by_path.clear();  // a batch moves on from folder to folder
  by_path.emplace(folder_path, folder);
  return folder;
}

void PageFiles::Folders::clean(const OpenFolder& folder) {
  std::lock_guard lock(mutex);
  if (!cleaned.insert(folder.identity).second) return;
  for (std::string& note : clear_dead_runs(*folder.folder, folder.path, folder.can))
    restored.push_back(std::move(note));
}

}  // namespace qv
