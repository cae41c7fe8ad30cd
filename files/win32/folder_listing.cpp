// Win32 listing: FindFirstFileExW without short names, so patterns see the real names only.
// Hidden and system entries are left out, as the platform's own file lists do.
#include "files/folder_listing.h"

#include <algorithm>
#include <utility>

#include "files/file_pattern.h"
#include "files/path.h"
#include "files/win32/wide.h"

namespace qv {
namespace {

enum class EntryKind { file, folder };

template <typename Accept>
std::vector<std::string> list_entries(const std::string& folder, EntryKind kind, Accept accept) {
  std::vector<std::string> names;
  if (folder.empty()) return names;
  win32::quiet_drive_errors();
  const std::wstring query = win32::system_path(with_trailing_separator(folder)) + L"*";
  WIN32_FIND_DATAW entry;
  HANDLE search = ::FindFirstFileExW(query.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const DWORD attributes = entry.dwFileAttributes;
    if ((attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0) continue;
    const std::wstring_view wide = entry.cFileName;
    if (wide == L"." || wide == L"..") continue;
    const EntryKind found =
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EntryKind::folder : EntryKind::file;
    if (found != kind) continue;
    std::string name = win32::to_utf8(wide);
    if (accept(name)) names.push_back(std::move(name));
  } while (::FindNextFileW(search, &entry));
  ::FindClose(search);
  sort_names(names);
  return names;
}

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

void sort_names(std::vector<std::string>& names) {
  std::vector<std::pair<std::string, std::string>> keyed;
  keyed.reserve(names.size());
  for (std::string& name : names) {
    std::string folded = name;
    std::transform(folded.begin(), folded.end(), folded.begin(), fold);
    keyed.emplace_back(std::move(folded), std::move(name));
  }
  std::sort(keyed.begin(), keyed.end());
  for (std::size_t i = 0; i < names.size(); ++i) names[i] = std::move(keyed[i].second);
}

std::vector<std::string> list_files(const std::string& folder, std::string_view pattern) {
  return list_entries(folder, EntryKind::file,
                      [pattern](std::string_view name) { return matches_pattern(name, pattern); });
}

std::vector<std::string> list_subfolders(const std::string& folder) {
  return list_entries(folder, EntryKind::folder, [](std::string_view) { return true; });
}

std::vector<std::string> regular_file_entries(const std::string& folder) {
  std::vector<std::string> names;
  if (folder.empty()) return names;
  win32::quiet_drive_errors();
  const std::wstring query = win32::system_path(with_trailing_separator(folder)) + L"*";
  WIN32_FIND_DATAW entry;
  HANDLE search = ::FindFirstFileExW(query.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    constexpr DWORD kNotAFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    if ((entry.dwFileAttributes & kNotAFile) == 0) names.push_back(win32::to_utf8(entry.cFileName));
  } while (::FindNextFileW(search, &entry));
  ::FindClose(search);
  return names;
}

}  // namespace qv
