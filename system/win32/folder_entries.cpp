// Win32 entries: FindFirstFileExW without short names, so patterns see the real names only.
// Hidden and system entries are left out, as the platform's own file lists do; a reparse point
// (a symbolic link or junction) is what Links::skip leaves out.
#include "system/folder_entries.h"

#include "system/win32/wide.h"
#include "text/path.h"

namespace qv {
namespace {

// Calls `visit` with each entry of `folder` ("." and ".." included); the system's error code when
// the folder cannot be listed, ERROR_SUCCESS otherwise (an empty drive root lists nothing).
template <typename Visit>
DWORD each_entry(const std::string& folder, Visit visit) {
  win32::quiet_drive_errors();
  const std::wstring query = win32::system_path(with_trailing_separator(folder)) + L"*";
  WIN32_FIND_DATAW entry;
  HANDLE search = ::FindFirstFileExW(query.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    return code == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : code;
  }
  do {
    visit(entry);
  } while (::FindNextFileW(search, &entry));
  ::FindClose(search);
  return ERROR_SUCCESS;
}

}  // namespace

namespace detail {

std::variant<std::vector<std::string>, IoError> read_entries(
    const std::string& folder, EntryKind kind, Links links,
    const std::function<bool(std::string_view)>& accept) {
  std::vector<std::string> names;
  if (folder.empty()) return names;
  const DWORD code = each_entry(folder, [&](const WIN32_FIND_DATAW& entry) {
    const DWORD attributes = entry.dwFileAttributes;
    if ((attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0) return;
    if (links == Links::skip && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return;
    const std::wstring_view wide = entry.cFileName;
    if (wide == L"." || wide == L"..") return;
    const EntryKind found =
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EntryKind::folder : EntryKind::file;
    if (found != kind) return;
    std::string name = win32::to_utf8(wide);
    if (accept(name)) names.push_back(std::move(name));
  });
  if (code != ERROR_SUCCESS) return IoError{folder, win32::error_text(code)};
  return names;
}

}  // namespace detail

std::variant<PathKind, IoError> path_kind(const std::string& path) {
  win32::quiet_drive_errors();
  const DWORD attributes = ::GetFileAttributesW(win32::system_path(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return IoError{path, win32::error_text(::GetLastError())};
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return PathKind::page;
  // A folder given by name that cannot be opened is an error, not an empty list.
  auto entries = detail::read_entries(path, detail::EntryKind::file, detail::Links::follow,
                                      [](std::string_view) { return false; });
  if (IoError* error = std::get_if<IoError>(&entries)) return std::move(*error);
  return PathKind::folder;
}

std::vector<std::string> regular_file_entries(const std::string& folder) {
  std::vector<std::string> names;
  if (folder.empty()) return names;
  each_entry(folder, [&](const WIN32_FIND_DATAW& entry) {
    constexpr DWORD kNotAFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    if ((entry.dwFileAttributes & kNotAFile) == 0) names.push_back(win32::to_utf8(entry.cFileName));
  });
  return names;
}

}  // namespace qv
