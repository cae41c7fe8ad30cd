#include "window/folder_navigation.h"

#include "text/path.h"

namespace qv {

std::string normal_folder(std::string_view path) {
  if (path.empty()) return {};
  return normal_path(path);
}

std::vector<std::string> folder_chain(std::string_view folder) {
  std::vector<std::string> chain;
  if (folder.empty()) return chain;
  // The root runs to its first separator: "/" here, "C:\\" on Windows.
  const std::size_t root_end = folder.find(kFolderSeparator) + 1;
  chain.emplace_back(folder.substr(0, root_end));
  for (std::size_t end = folder.find(kFolderSeparator, root_end);
       chain.back().size() < folder.size(); end = folder.find(kFolderSeparator, end + 1))
    chain.emplace_back(folder.substr(0, end));
  return chain;
}

namespace {

// True when `folder` is `parent` or lies below it.
bool lies_in(std::string_view folder, std::string_view parent) {
  if (!folder.starts_with(parent)) return false;
  return folder.size() == parent.size() || parent.back() == kFolderSeparator ||
         folder[parent.size()] == kFolderSeparator;
}

}  // namespace

DriveFolders::DriveFolders(std::vector<std::string> drives) { set_drives(std::move(drives)); }

void DriveFolders::set_drives(std::vector<std::string> drives) {
  drives_ = std::move(drives);
  std::erase_if(current_, [this](const auto& entry) { return !is_drive(entry.first); });
}

bool DriveFolders::is_drive(std::string_view path) const {
  for (const std::string& drive : drives_)
    if (drive == path) return true;
  return false;
}

std::string DriveFolders::drive_of(std::string_view folder) const {
  std::string best;
  for (const std::string& drive : drives_)
    if (lies_in(folder, drive) && drive.size() > best.size()) best = drive;
  return best;
}

void DriveFolders::visited(std::string_view folder) {
  std::string drive = drive_of(folder);
  if (!drive.empty()) current_[drive] = folder;
}

std::string DriveFolders::current_folder(std::string_view drive) const {
  auto it = current_.find(drive);
  return it == current_.end() ? std::string(drive) : it->second;
}

}  // namespace qv
