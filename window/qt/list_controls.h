#pragma once

// The three list controls of the Qt window: files of a folder, the folder tree around the current
// folder, and the machine's volumes. Paths and names are bytes; they are decoded only to be
// displayed. Events are plain callbacks, called synchronously.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <QAbstractListModel>
#include <QComboBox>
#include <QListView>
#include <QListWidget>

#include "system/volumes.h"
#include "window/browsed_folders.h"
#include "window/controls.h"
#include "window/folder_navigation.h"
#include "window/listed_files.h"

namespace qv::qt {

// The names shown by a file list, decoded only for the rows on screen.
class NameListModel : public QAbstractListModel {
 public:
  NameListModel(const std::vector<std::string>& names, QObject* parent)
      : QAbstractListModel(parent), names_(names) {}
  int rowCount(const QModelIndex& parent) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  // The names are about to change, and have changed: every row is shown again.
  void about_to_reset() { beginResetModel(); }
  void reset() { endResetModel(); }

 private:
  const std::vector<std::string>& names_;
};

// The files of one folder that match a pattern, alphabetically. A mouse click on a name, or a move
// of the selection with the arrow keys, raises the click event.
class FileListBox : public QListView, public ListedFiles {
 public:
  FileListBox(std::string_view pattern, QWidget* parent);
  std::string file_name() const override;

 protected:
  void names_changing() override { model_.about_to_reset(); }
  void show_names() override { model_.reset(); }
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  NameListModel model_;
};

// The folders from the root down to the current one, each one step further in, then the current
// folder's subfolders. A click only moves the highlight; a double click or Enter opens the folder,
// which becomes the path and raises the change event.
class FolderListBox : public QListWidget, public BrowsedFolders {
 public:
  explicit FolderListBox(QWidget* parent);

 protected:
  std::string full_path(std::string_view path) const override;
  void show_folders() override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void open(QListWidgetItem* item);
};

// The machine's volumes, each shown by its mount point and label. Choosing another one raises the
// change event. The list is read again each time it drops down, so that a volume mounted since
// shows up.
class DriveComboBox : public QComboBox, public DriveList, public PaneList {
 public:
  explicit DriveComboBox(QWidget* parent);

  // The selected volume's mount point.
  std::string drive() const override;

  // Replaces the volumes, keeping the selection when its volume is still there.
  void set_volumes(const std::vector<Volume>& volumes) override;
  // Selects the volume that holds `folder`, without raising the change event.
  void open_quietly(std::string_view folder) override;

  std::function<void()> on_change;
  // Called before the list drops down, to refresh the volumes.
  std::function<void()> before_popup;

 protected:
  void showPopup() override;

 private:
  bool quiet_ = false;
};

}  // namespace qv::qt
