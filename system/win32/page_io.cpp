// Win32 steps of a page rewrite. A page's new content goes to a hidden temporary file in the
// folder that really holds the page, written and flushed, then swapped in by ReplaceFileW, which
// keeps the page's access control list and alternate streams, or by a written-through replacing
// rename where the file system cannot do that. A temporary file is opened with no sharing while
// it lives, so that a later run can tell the leftovers of dead runs (which it can delete) from
// the files of live ones (which it cannot).
#include "system/page_io.h"

#include <cstdio>
#include <ctime>
#include <type_traits>

#include "system/page_buffer.h"
#include "system/win32/file_access.h"
#include "system/win32/wide.h"

namespace qv::sys {

using win32::error_from;
using win32::Handle;

// A folder that holds pages of the batch, held open so that it cannot be renamed or removed
// while its pages are rewritten.
struct Folder {
  Handle handle;
  std::wstring path;  // its real path, ending in a separator
  FileIdentity identity;
};

namespace {

HANDLE handle_of(const File& file) { return reinterpret_cast<HANDLE>(file.get()); }

FileStatus status_of(const BY_HANDLE_FILE_INFORMATION& info) {
  auto join = [](DWORD high, DWORD low) { return (std::uint64_t{high} << 32) | low; };
  FileStatus status;
  status.identity = {info.dwVolumeSerialNumber, join(info.nFileIndexHigh, info.nFileIndexLow)};
  status.size = join(info.nFileSizeHigh, info.nFileSizeLow);
  status.modified_ns = static_cast<std::int64_t>(
      join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime) * 100);
  status.mode = info.dwFileAttributes;
  return status;
}

// Splits a system path into its folder (ending in a separator) and its last name.
EntryPlace split(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return {".\\", win32::to_utf8(path)};
  return {win32::to_utf8(path.substr(0, slash + 1)), win32::to_utf8(path.substr(slash + 1))};
}

std::wstring path_in(const Folder& folder, const std::string& name) {
  return folder.path + win32::to_wide(name);
}

template <typename Buffer>
std::optional<IoError> read_opened(const File& file, const std::string& path, FileStatus& status,
                                   Buffer& out, std::size_t headroom) {
  BY_HANDLE_FILE_INFORMATION info;
  if (auto error = win32::regular_file_error(handle_of(file), path, info)) return error;
  status = status_of(info);
  if constexpr (std::is_same_v<Buffer, std::string>)
    return win32::read_all(handle_of(file), info, path, out, headroom);
  else
    return win32::read_all(handle_of(file), info, path, out);
}

}  // namespace

bool close_file(NativeFile file) { return ::CloseHandle(reinterpret_cast<HANDLE>(file)) != 0; }

EntryPlace place_of(const std::string& path) {
  win32::quiet_drive_errors();
  return split(win32::system_path(path));
}

std::variant<EntryPlace, IoError> resolve_link(const std::string& path) {
  // A symbolic link or junction: the entry its target names, in the folder that holds that entry.
  Handle file = win32::open_for_reading(win32::system_path(path));
  std::optional<std::wstring> resolved;
  if (!file.valid() || !(resolved = win32::final_path(file.get())))
    return error_from(path, ::GetLastError());
  return split(win32::system_path(win32::to_utf8(*resolved)));
}

std::variant<std::shared_ptr<Folder>, IoError> open_folder(const std::string& folder_path,
                                                           const std::string& path) {
  // Others may read and write in it, not rename or remove it.
  const std::wstring wide = win32::to_wide(folder_path);
  Handle handle(::CreateFileW(wide.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle.valid()) return error_from(path, ::GetLastError());
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle.get(), &info)) return error_from(path, ::GetLastError());
  auto folder = std::make_shared<Folder>();
  folder->handle = std::move(handle);
  folder->path = wide;
  folder->identity = status_of(info).identity;
  return folder;
}

FileIdentity identity_of(const Folder& folder) { return folder.identity; }

FolderCapabilities capabilities_of(const Folder&) {
  // Flushing a whole volume at once needs administrator rights on Windows; folders cannot be
  // locked against other runs' replacements.
  FolderCapabilities can;
  can.flush = FlushScope::each_file;
  can.page_release = PageRelease::after_reading;
  can.lock = ReplaceLock::none;
  return can;
}

std::variant<File, EntryIsLink, IoError> open_entry(const Folder& folder, const std::string& name,
                                                    const std::string& path) {
  const std::wstring where = path_in(folder, name);
  const DWORD attributes = ::GetFileAttributesW(where.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return error_from(path, ::GetLastError());
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return EntryIsLink{};
  Handle file = win32::open_for_reading(where);
  if (!file.valid()) return error_from(path, ::GetLastError());
  return File(reinterpret_cast<NativeFile>(file.release()));
}

std::optional<IoError> read_whole(const File& file, const std::string& path, FileStatus& status,
                                  std::string& out, std::size_t headroom) {
  return read_opened(file, path, status, out, headroom);
}
std::optional<IoError> read_whole(const File& file, const std::string& path, FileStatus& status,
                                  PageBuffer& out) {
  return read_opened(file, path, status, out, 0);
}

std::variant<FileStatus, std::monostate, IoError> replace_candidate(const Folder& folder,
                                                                    const std::string& name,
                                                                    const std::string& path) {
  // Opened for deletion, as the swap will: a page another program holds open without letting it
  // be replaced is refused here, before the swap could fail halfway (Wine's ReplaceFileW leaves a
  // file of its own behind when it does).
  Handle now(::CreateFileW(path_in(folder, name).c_str(), FILE_READ_ATTRIBUTES | DELETE,
                           win32::kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                           nullptr));
  if (!now.valid()) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_FILE_NOT_FOUND) return std::monostate{};
    return error_from(path, code);
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(now.get(), &info)) return error_from(path, ::GetLastError());
  return status_of(info);
}

std::optional<IoError> check_writable(const Folder&, const std::string&, const FileStatus& status,
                                      const std::string& path) {
  // A replacement would bypass the read-only attribute, which the user set on purpose.
  if ((status.mode & FILE_ATTRIBUTE_READONLY) != 0) return error_from(path, ERROR_ACCESS_DENIED);
  return std::nullopt;
}

std::variant<File, NameTaken, IoError> create_temporary(const Folder& folder,
                                                        const std::string& name,
                                                        const std::string& path) {
  Handle file(::CreateFileW(path_in(folder, name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_HIDDEN, nullptr));
  if (file.valid()) return File(reinterpret_cast<NativeFile>(file.release()));
  const DWORD code = ::GetLastError();
  if (code == ERROR_FILE_EXISTS) return NameTaken{error_from(path, code)};
  return error_from(path, code);
}

std::optional<IoError> write_pieces(const File& file, std::span<const std::string_view> pieces,
                                    const std::string& path) {
  for (std::string_view piece : pieces) {
    while (!piece.empty()) {
      const DWORD ask = piece.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(piece.size());
      DWORD written = 0;
      if (!::WriteFile(handle_of(file), piece.data(), ask, &written, nullptr))
        return error_from(path, ::GetLastError());
      piece.remove_prefix(written);
    }
  }
  return std::nullopt;
}

void start_writeback(const File&) {}

std::optional<IoError> flush_file(const File& file, const std::string& path) {
  if (!::FlushFileBuffers(handle_of(file))) return error_from(path, ::GetLastError());
  return std::nullopt;
}

std::optional<IoError> lack_of_room(const Folder& folder, std::uint64_t needed,
                                    const std::string& path) {
  ULARGE_INTEGER available;
  if (!::GetDiskFreeSpaceExW(folder.path.c_str(), &available, nullptr, nullptr) ||
      available.QuadPart >= needed)
    return std::nullopt;
  return error_from(path, ERROR_DISK_FULL);
}

std::optional<IoError> flush_file_system(const Folder&) {
  // Needs administrator rights: capabilities_of never asks for it.
  return std::nullopt;
}

std::optional<IoError> keep_attributes(const Folder&, const std::string&, const File&,
                                       const FileStatus&, const File&, const std::string&,
                                       unsigned& not_kept) {
  // The access control list and streams travel with ReplaceFileW, the attributes in replace().
  not_kept = kept_all;
  return std::nullopt;
}

std::string mount_words(const Folder& folder) { return win32::to_utf8(folder.path); }

std::optional<IoError> close_checked(File& file, const std::string& path) {
  if (!file.close()) return error_from(path, ::GetLastError());
  return std::nullopt;
}

std::variant<std::monostate, CannotRenameOver, IoError> replace(
    const Folder& folder, const std::string& name, const std::string& temporary_name,
    File& temporary, const FileStatus& status, const std::string& path) {
  const std::wstring target = path_in(folder, name);
  const std::wstring staged = path_in(folder, temporary_name);
  // The new file takes the page's attributes (ReplaceFileW carries them on Windows, not on every
  // file system or emulation), which also ends its hidden state.
  const DWORD attributes =
      status.mode & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  if (!temporary.close()) return error_from(path, ::GetLastError());
  ::SetFileAttributesW(staged.c_str(), attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL);
  if (::ReplaceFileW(target.c_str(), staged.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                     nullptr, nullptr))
    return std::monostate{};
  const DWORD code = ::GetLastError();
  // A page in use, or one the user may not replace, is refused as it stands; where the file
  // system cannot replace with its metadata, a plain replacing rename still swaps the content in
  // one step.
  if (code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED ||
      code == ERROR_USER_MAPPED_FILE || code == ERROR_LOCK_VIOLATION)
    return error_from(path, code);
  if (!::MoveFileExW(staged.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return error_from(path, ::GetLastError());
  return std::monostate{};
}

std::optional<IoError> write_new_file(const Folder& folder, const std::string& name,
                                      std::string_view bytes, const std::string& path) {
  Handle file(::CreateFileW(path_in(folder, name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_HIDDEN, nullptr));
  if (!file.valid()) return error_from(path, ::GetLastError());
  File written(reinterpret_cast<NativeFile>(file.release()));
  if (auto error = write_pieces(written, std::span<const std::string_view>(&bytes, 1), path))
    return error;
  if (auto error = flush_file(written, path)) return error;
  if (!written.close()) return error_from(path, ::GetLastError());
  return std::nullopt;
}

std::optional<std::string> read_small_file(const Folder& folder, const std::string& name,
                                           std::size_t limit) {
  Handle file = win32::open_for_reading(path_in(folder, name));
  LARGE_INTEGER size;
  if (!file.valid() || !::GetFileSizeEx(file.get(), &size) ||
      static_cast<std::uint64_t>(size.QuadPart) > limit)
    return std::nullopt;
  std::string text(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD got = 0;
  if (!text.empty() &&
      (!::ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &got, nullptr) ||
       got != text.size()))
    return std::nullopt;
  return text;
}

std::optional<IoError> rename_entry(const Folder& folder, const std::string& from,
                                    const std::string& to, const std::string& path) {
  if (!::MoveFileExW(path_in(folder, from).c_str(), path_in(folder, to).c_str(),
                     MOVEFILE_WRITE_THROUGH))
    return error_from(path, ::GetLastError());
  return std::nullopt;
}

std::optional<IoError> remove_entry(const Folder& folder, const std::string& name,
                                    const std::string& path) {
  if (!::DeleteFileW(path_in(folder, name).c_str())) return error_from(path, ::GetLastError());
  return std::nullopt;
}

std::optional<IoError> flush_folder(const Folder&, const std::string&) {
  // Renames and removals are written through (MOVEFILE_WRITE_THROUGH); a folder cannot be flushed
  // by itself without administrator rights.
  return std::nullopt;
}

void discard_temporary(const Folder& folder, const std::string& name, File& temporary) {
  temporary.reset();
  ::DeleteFileW(path_in(folder, name).c_str());
}

std::optional<IoError> lock_folder(const Folder&, const std::string&) { return std::nullopt; }
void unlock_folder(const Folder&) {}

std::vector<std::string> names_starting_with(const Folder& folder, std::string_view prefix) {
  std::vector<std::string> names;
  const std::wstring query = folder.path + win32::to_wide(prefix) + L"*";
  WIN32_FIND_DATAW entry;
  HANDLE search =
      ::FindFirstFileExW(query.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if ((entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0)
      names.push_back(win32::to_utf8(entry.cFileName));
  } while (::FindNextFileW(search, &entry));
  ::FindClose(search);
  return names;
}

void remove_if_dead(const Folder& folder, const std::string& name,
                    const std::function<bool(Hold)>& dead) {
  // A live run holds its file open without sharing, so that the deletion fails on it.
  if (dead(Hold::unknown)) ::DeleteFileW(path_in(folder, name).c_str());
}

TemporaryOwner this_run() {
  static const std::string machine = [] {
    // The host (a digest of its name) and its current boot (when it started, to ten seconds).
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    ::GetComputerNameW(name, &length);
    std::uint32_t host = 2166136261u;
    for (DWORD i = 0; i < length; ++i) host = (host ^ name[i]) * 16777619u;
    const auto boot =
        static_cast<std::uint32_t>((std::time(nullptr) - ::GetTickCount64() / 1000) / 10);
    char digits[17];
    std::snprintf(digits, sizeof digits, "%08x%08x", host, boot);
    return std::string(digits);
  }();
  return {machine, ::GetCurrentProcessId(), static_cast<std::int64_t>(std::time(nullptr))};
}

bool process_alive(std::uint64_t process) {
  HANDLE opened = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(process));
  if (opened == nullptr) return ::GetLastError() == ERROR_ACCESS_DENIED;
  Handle running(opened);
  return ::WaitForSingleObject(running.get(), 0) == WAIT_TIMEOUT;
}

std::size_t staging_capacity() { return 512; }

}  // namespace qv::sys
