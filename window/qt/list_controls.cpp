#include "window/qt/list_controls.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyledItemDelegate>

#include "files/folder_listing.h"
#include "system/file_io.h"
#include "text/path.h"
#include "window/qt/text_controls.h"

namespace qv::qt {
namespace {

QByteArray to_bytes(std::string_view bytes) {
  return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string from_bytes(const QVariant& value) { return value.toByteArray().toStdString(); }

}  // namespace

int NameListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(names_.size());
}

QVariant NameListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount({})) return {};
  return to_display(names_[static_cast<std::size_t>(index.row())]);
}

FileListBox::FileListBox(std::string_view pattern, QWidget* parent)
    : QListView(parent), ListedFiles(pattern), model_(names(), this) {
  setModel(&model_);
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
}

std::string FileListBox::file_name() const {
  QModelIndex current = currentIndex();
  if (!current.isValid() || !selectionModel()->isSelected(current)) return {};
  return names().at(static_cast<std::size_t>(current.row()));
}

void FileListBox::mousePressEvent(QMouseEvent* event) {
  QListView::mousePressEvent(event);
  if (event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid() &&
      on_click)
    on_click();
}

void FileListBox::keyPressEvent(QKeyEvent* event) {
  const QModelIndex before = currentIndex();
  QListView::keyPressEvent(event);
  if (currentIndex() != before && !file_name().empty() && on_click) on_click();
}

namespace {

constexpr int kLevelRole = Qt::UserRole;
constexpr int kPathRole = Qt::UserRole + 1;
constexpr int kIndentPixels = 10;

// Shifts each folder right by its depth, so the chain above the current folder reads as a tree.
class IndentDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem shifted(option);
    shifted.rect.adjust(index.data(kLevelRole).toInt() * kIndentPixels, 0, 0, 0);
    QStyledItemDelegate::paint(painter, shifted, index);
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.rwidth() += index.data(kLevelRole).toInt() * kIndentPixels;
    return size;
  }
};

}  // namespace

FolderListBox::FolderListBox(QWidget* parent) : QListWidget(parent) {
  setItemDelegate(new IndentDelegate(this));
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
}

std::string FolderListBox::full_path(std::string_view path) const {
  return normal_folder(::qv::full_path(path));
}

void FolderListBox::show_folders() {
  clear();
  const QIcon open_icon = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed_icon = style()->standardIcon(QStyle::SP_DirClosedIcon);
  auto add = [this](const QIcon& icon, const std::string& folder, int level) {
    std::string_view name = folder;
    if (name.size() > 1) name.remove_prefix(name_start(name));
    auto* item = new QListWidgetItem(icon, to_display(name), this);
    item->setData(kLevelRole, level);
    item->setData(kPathRole, to_bytes(folder));
    return item;
  };
  const std::string folder = path();
  if (folder.empty()) return;
  int level = 0;
  QListWidgetItem* current = nullptr;
  for (const std::string& above : folder_chain(folder)) current = add(open_icon, above, level++);
  for (const std::string& name : list_subfolders(folder))
    add(closed_icon, folder_join(folder, name), level);
  setCurrentItem(current);
}

void FolderListBox::open(QListWidgetItem* item) {
  if (item != nullptr && go(from_bytes(item->data(kPathRole))) && on_change) on_change();
}

void FolderListBox::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    if (QListWidgetItem* target = itemAt(event->position().toPoint())) {
      open(target);
      return;
    }
  }
  QListWidget::mouseDoubleClickEvent(event);
}

void FolderListBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    open(currentItem());
    return;
  }
  QListWidget::keyPressEvent(event);
}

DriveComboBox::DriveComboBox(QWidget* parent) : QComboBox(parent) {
  connect(this, &QComboBox::currentIndexChanged, this, [this] {
    if (!quiet_ && on_change) on_change();
  });
}

std::string DriveComboBox::drive() const { return from_bytes(currentData()); }

void DriveComboBox::set_volumes(const std::vector<Volume>& volumes) {
  const std::string selected = drive();
  quiet_ = true;
  clear();
  for (const Volume& volume : volumes) {
    QString shown = to_display(volume.mount_point);
    if (!volume.label.empty()) shown += " [" + to_display(volume.label) + "]";
    addItem(shown, to_bytes(volume.mount_point));
  }
  int index = findData(to_bytes(selected));
  setCurrentIndex(index >= 0 ? index : 0);
  quiet_ = false;
}

void DriveComboBox::open_quietly(std::string_view folder) {
  // The deepest volume that holds the folder.
  DriveFolders drives;
  std::vector<std::string> mount_points;
  for (int i = 0; i < count(); ++i) mount_points.push_back(from_bytes(itemData(i)));
  drives.set_drives(mount_points);
  int index = findData(to_bytes(drives.drive_of(folder)));
  quiet_ = true;
  setCurrentIndex(index >= 0 ? index : 0);
  quiet_ = false;
}

void DriveComboBox::showPopup() {
  if (before_popup) before_popup();
  QComboBox::showPopup();
}

}  // namespace qv::qt
