#pragma once

// What a folder list needs to know about folders and drives, without any GUI: the chain of folders
// it shows above the current one, and each drive's current folder.

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// `path` with "." and ".." resolved and without a trailing separator (a root keeps its one).
std::string normal_folder(std::string_view path);

// The folders from the root down to `folder` included: "/a/b" gives "/", "/a", "/a/b" (on
// Windows "C:\\a" gives "C:\\", "C:\\a"). `folder` must be absolute and normal.
std::vector<std::string> folder_chain(std::string_view folder);

// Remembers, for each drive (a mount point), the last folder visited on it, which is the folder a
// folder list goes to when it is given the bare drive.
class DriveFolders {
 public:
  explicit DriveFolders(std::vector<std::string> drives = {});

  // Replaces the set of drives; the folders remembered on drives that remain are kept.
  void set_drives(std::vector<std::string> drives);
  bool is_drive(std::string_view path) const;
  // The drive that holds `folder`: the deepest drive that is `folder` or one of its parents; empty
  // when none does.
  std::string drive_of(std::string_view folder) const;
  // Records `folder` as the current folder of the drive that holds it.
  void visited(std::string_view folder);
  // The last folder visited on `drive`, or the drive's top folder when none was.
  std::string current_folder(std::string_view drive) const;

 private:
  std::vector<std::string> drives_;
  std::map<std::string, std::string, std::less<>> current_;
};

}  // namespace qv
