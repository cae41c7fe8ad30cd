#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "system/volumes.h"
#include "window/controls.h"
#include "window/folder_navigation.h"
#include "window/window_host.h"

namespace qv {

// What every binding's folder list does, written once: the folder it shows, the drives, and the
// last folder visited on each drive, where a bare drive leads back. A binding adds how its system
// writes full folders, and the display.
class BrowsedFolders : public FolderList, public PaneList {
 public:
  std::string path() const override { return path_; }
  // Goes to `path` made full; a bare drive goes to the last folder visited on it (its top folder
  // when none). Raises the change event when the folder changed.
  void set_path(std::string_view path) override;
  void open_quietly(std::string_view folder) override;
  // The volumes' top folders become the drives.
  void set_volumes(const std::vector<Volume>& volumes) override;

  std::function<void()> on_change;

 protected:
  // `path` made absolute and normal, as this system writes folders; a bare drive as its top.
  virtual std::string full_path(std::string_view path) const = 0;
  // The top folder of `volume`, as this system writes folders.
  virtual std::string top_folder(const Volume& volume) const { return volume.mount_point; }
  // Shows the folders around path().
  virtual void show_folders() = 0;
  // Goes to `folder`, already full, raising nothing; true when it changed.
  bool go(std::string folder);

 private:
  DriveFolders drives_;
  std::string path_;
};

}  // namespace qv
