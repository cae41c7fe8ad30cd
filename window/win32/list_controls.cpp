#include "window/win32/list_controls.h"

#include <cwctype>

#include "files/folder_listing.h"
#include "system/file_io.h"
#include "text/path.h"
#include "window/win32/text.h"

namespace qv::win32 {

std::string drive_root(std::string_view drive) {
  if (drive.size() >= 2 && drive[1] == ':' && std::iswalpha(static_cast<wint_t>(drive[0])))
    return {static_cast<char>(std::towupper(static_cast<wint_t>(drive[0]))), ':', '\\'};
  return std::string(drive);
}

std::string full_folder(std::string_view path) {
  std::string folder = full_path(path);
  if (folder.size() >= 3 && folder[1] == ':') folder = drive_root(folder) + folder.substr(3);
  while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
  return folder;
}

FileListBox::FileListBox(HWND hwnd, std::string_view pattern)
    : ChildControl(hwnd), ListedFiles(pattern) {
  subclass();
}

void FileListBox::show_names() {
  SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
  SendMessageW(hwnd_, LB_RESETCONTENT, 0, 0);
  SendMessageW(hwnd_, LB_INITSTORAGE, names().size(), static_cast<LPARAM>(names().size() * 32));
  for (const std::string& name : names())
    SendMessageW(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(name).c_str()));
  SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(hwnd_, nullptr, TRUE);
  reported_ = LB_ERR;
}

std::string FileListBox::file_name() const {
  const LRESULT selected = SendMessageW(hwnd_, LB_GETCURSEL, 0, 0);
  if (selected < 0 || static_cast<std::size_t>(selected) >= names().size()) return {};
  return names()[static_cast<std::size_t>(selected)];
}

void FileListBox::click() {
  reported_ = SendMessageW(hwnd_, LB_GETCURSEL, 0, 0);
  if (on_click) on_click();
}

void FileListBox::notify(WORD code) {
  // A move of the selection with the keys; a mouse press has raised its event already.
  if (code == LBN_SELCHANGE && !in_mouse_press_ &&
      SendMessageW(hwnd_, LB_GETCURSEL, 0, 0) != reported_ && !file_name().empty())
    click();
}

LRESULT FileListBox::handle(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != WM_LBUTTONDOWN) return original(message, wparam, lparam);
  in_mouse_press_ = true;
  const LRESULT result = original(message, wparam, lparam);
  in_mouse_press_ = false;
  // Every press on a name clicks it, even on the name already selected.
  const LRESULT hit = SendMessageW(hwnd_, LB_ITEMFROMPOINT, 0, lparam);
  if (HIWORD(hit) == 0 && !file_name().empty()) click();
  return result;
}

FolderListBox::FolderListBox(HWND hwnd) : ChildControl(hwnd) { subclass(); }

std::string FolderListBox::full_path(std::string_view path) const {
  if (path.size() == 2 && path[1] == ':') return drive_root(path);
  return full_folder(path);
}

std::string FolderListBox::top_folder(const Volume& volume) const {
  return drive_root(volume.mount_point);
}

void FolderListBox::show_folders() {
  rows_.clear();
  const std::string current = path();
  if (!current.empty()) {
    int level = 0;
    for (std::string& folder : folder_chain(current))
      rows_.push_back({std::move(folder), level++, true});
    for (const std::string& name : list_subfolders(current))
      rows_.push_back({folder_join(current, name), level, false});
  }
  SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
  SendMessageW(hwnd_, LB_RESETCONTENT, 0, 0);
  for (const Row& row : rows_) {
    // The root shows as "c:\", every other folder by its name.
    std::string shown = row.level == 0 ? row.folder : row.folder.substr(row.folder.rfind('\\') + 1);
    if (row.level == 0 && shown.size() >= 2 && shown[1] == ':')
      shown[0] = static_cast<char>(std::towlower(static_cast<wint_t>(shown[0])));
    SendMessageW(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(shown).c_str()));
  }
  const std::size_t open_rows = current.empty() ? 0 : folder_chain(current).size();
  if (open_rows > 0) SendMessageW(hwnd_, LB_SETCURSEL, open_rows - 1, 0);
  SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void FolderListBox::open_row(LRESULT index) {
  if (index < 0 || static_cast<std::size_t>(index) >= rows_.size()) return;
  if (go(rows_[static_cast<std::size_t>(index)].folder) && on_change) on_change();
}

void FolderListBox::notify(WORD code) {
  if (code == LBN_DBLCLK) open_row(SendMessageW(hwnd_, LB_GETCURSEL, 0, 0));
}

LRESULT FolderListBox::handle(UINT message, WPARAM wparam, LPARAM lparam) {
  // Enter opens the highlighted folder, instead of going to the window as a default command.
  if (message == WM_GETDLGCODE && lparam != 0 && wparam == VK_RETURN)
    return original(message, wparam, lparam) | DLGC_WANTALLKEYS;
  if (message == WM_KEYDOWN && wparam == VK_RETURN) {
    open_row(SendMessageW(hwnd_, LB_GETCURSEL, 0, 0));
    return 0;
  }
  return original(message, wparam, lparam);
}

std::string DriveComboBox::drive() const {
  const LRESULT selected = SendMessageW(hwnd_, CB_GETCURSEL, 0, 0);
  if (selected < 0 || static_cast<std::size_t>(selected) >= roots_.size()) return {};
  std::string drive = roots_[static_cast<std::size_t>(selected)];
  if (drive.size() == 3 && drive[1] == ':') {
    drive.pop_back();
    drive[0] = static_cast<char>(std::towlower(static_cast<wint_t>(drive[0])));
  }
  return drive;
}

void DriveComboBox::notify(WORD code) {
  if (code == CBN_DROPDOWN && before_popup) before_popup();
  if (code == CBN_SELCHANGE && on_change) on_change();
}

void DriveComboBox::set_volumes(const std::vector<Volume>& volumes) {
  const LRESULT before = SendMessageW(hwnd_, CB_GETCURSEL, 0, 0);
  const std::string selected = before >= 0 && static_cast<std::size_t>(before) < roots_.size()
                                   ? roots_[static_cast<std::size_t>(before)]
                                   : std::string();
  roots_.clear();
  SendMessageW(hwnd_, CB_RESETCONTENT, 0, 0);
  LRESULT index = 0;
  for (const Volume& volume : volumes) {
    roots_.push_back(drive_root(volume.mount_point));
    if (roots_.back() == selected) index = static_cast<LRESULT>(roots_.size() - 1);
    SendMessageW(hwnd_, CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(widen(drive_caption(volume)).c_str()));
  }
  SendMessageW(hwnd_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);  // raises no change event
}

void DriveComboBox::open_quietly(std::string_view folder) {
  DriveFolders drives(roots_);
  const std::string root = drives.drive_of(full_folder(folder));
  for (std::size_t i = 0; i < roots_.size(); ++i)
    if (roots_[i] == root) SendMessageW(hwnd_, CB_SETCURSEL, i, 0);
}

}  // namespace qv::win32
