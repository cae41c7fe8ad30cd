#pragma once

// The three list controls of the Win32 window: files of a folder, the chain of folders around the
// current folder, and the machine's drives. Paths and names are UTF-8 bytes; they are converted
// to UTF-16 only to be displayed. Events are plain callbacks, called synchronously.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "system/volumes.h"
#include "window/browsed_folders.h"
#include "window/controls.h"
#include "window/folder_navigation.h"
#include "window/listed_files.h"
#include "window/win32/child_control.h"

namespace qv::win32 {

// The files of one folder that match a pattern, in alphabetical order (the order the listing
// gives, which the run follows too). A mouse click on a name, or a move of the selection with the
// arrow keys, raises the click event.
class FileListBox : public ChildControl, public ListedFiles {
 public:
  FileListBox(HWND hwnd, std::string_view pattern);

  std::string file_name() const override;
  void notify(WORD code) override;

 protected:
  void show_names() override;
  LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  void click();
  LRESULT reported_ = LB_ERR;  // the selection the last click event was raised for
  bool in_mouse_press_ = false;
};

// The folders from the drive's root down to the current one, each one step further in and drawn
// as an open folder, then the current folder's subfolders, drawn closed. A click only moves the
// highlight; a double click or Enter opens the folder, which becomes the path and raises the
// change event.
class FolderListBox : public ChildControl, public BrowsedFolders {
 public:
  explicit FolderListBox(HWND hwnd);

  void notify(WORD code) override;
  // Paints one row (WM_DRAWITEM from the parent).
  void draw(const DRAWITEMSTRUCT& item) const;

 protected:
  // A bare drive ("c:") is its root ("C:\").
  std::string full_path(std::string_view path) const override;
  std::string top_folder(const Volume& volume) const override;
  void show_folders() override;
  LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  struct Row {
    std::string folder;
    int level;
    bool open;
  };
  void open_row(LRESULT index);
  std::vector<Row> rows_;
};

// The machine's drives, shown as "c: [LABEL]". Choosing another one raises the change event. The
// list is read again each time it drops down, so that a drive added since shows up.
class DriveComboBox : public ChildControl, public DriveList, public PaneList {
 public:
  explicit DriveComboBox(HWND hwnd) : ChildControl(hwnd) {}

  // The selected drive, as "c:".
  std::string drive() const override;
  void notify(WORD code) override;

  // Replaces the drives, keeping the selection when its drive is still there.
  void set_volumes(const std::vector<Volume>& volumes) override;
  // Selects the drive that holds `folder`, without raising the change event.
  void open_quietly(std::string_view folder) override;

  std::function<void()> on_change;
  // Called before the list drops down, to refresh the drives.
  std::function<void()> before_popup;

 private:
  std::vector<std::string> roots_;
};

// The root ("C:\") of the drive that a volume's mount point or a bare drive ("c:") names.
std::string drive_root(std::string_view drive);

// `path` made absolute, "." and ".." resolved, the drive letter in capitals and no separator at
// the end except after a drive's root.
std::string full_folder(std::string_view path);

}  // namespace qv::win32
