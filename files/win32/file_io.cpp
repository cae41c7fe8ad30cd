// Win32 implementation of the file layer, through the wide-character API: paths are UTF-8 in the
// program and UTF-16 at the system boundary.
#include "files/file_io.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "files/fault_injection.h"
#include "files/page_buffer.h"
#include "files/path.h"
#include "files/win32/wide.h"

namespace qv {
namespace {

constexpr std::string_view kTemporaryMark = ".qv-tmp-";

IoError error_from(const std::string& path, DWORD code) {
  return IoError{path, win32::error_text(code)};
}

// Closes a handle when it leaves scope.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { close(); }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool close() {
    const bool closed = !valid() || ::CloseHandle(handle_) != 0;
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opens `path` for reading, following links; a folder opens too, so that it can be told apart.
HANDLE open_for_reading(const std::wstring& path) {
  return ::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

IoError is_folder(const std::string& path) { return IoError{path, std::strerror(EISDIR)}; }

// Why `file`, just opened, is not a regular file; none when it is one. Devices (CON, NUL, a
// COM port) and pipes are refused: reading them would block or never end.
std::optional<IoError> not_regular(HANDLE file, const std::string& path) {
  if (::GetFileType(file) != FILE_TYPE_DISK) return IoError{path, "Not a regular file"};
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(file, &info)) return error_from(path, ::GetLastError());
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return is_folder(path);
  return std::nullopt;
}

template <typename Buffer>
std::optional<IoError> read_whole(const std::string& path, Buffer& out) {
  win32::quiet_drive_errors();
  out.clear();
  Handle file(open_for_reading(win32::system_path(path)));
  if (!file.valid()) return error_from(path, ::GetLastError());
  if (auto error = not_regular(file.get(), path)) return error;
  LARGE_INTEGER size{};
  if (::GetFileSizeEx(file.get(), &size) && size.QuadPart > 0)
    out.resize(static_cast<std::size_t>(size.QuadPart));
  // Reads to the end whatever the size said: a file that grows meanwhile is read whole.
  std::size_t filled = 0;
  for (;;) {
    if (filled == out.size()) out.resize(filled + 65536);
    const std::size_t room = out.size() - filled;
    DWORD got = 0;
    const DWORD ask = room > (1u << 30) ? (1u << 30) : static_cast<DWORD>(room);
    if (!::ReadFile(file.get(), out.data() + filled, ask, &got, nullptr)) {
      const DWORD code = ::GetLastError();
      out.clear();
      return error_from(path, code);
    }
    if (got == 0) break;
    filled += got;
  }
  out.resize(filled);
  return std::nullopt;
}

// Writes every piece in order; the error code (an errno value for an injected fault, else a
// Win32 code) of the first failure, or 0.
std::optional<IoError> write_all(HANDLE file, std::span<const std::string_view> pieces,
                                 const std::string& path) {
  for (std::string_view piece : pieces) {
    if (piece.empty()) continue;
    if (int injected = fault_injection::take_write_failure())
      return IoError{path, std::strerror(injected)};
    while (!piece.empty()) {
      const DWORD ask = piece.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(piece.size());
      DWORD written = 0;
      if (!::WriteFile(file, piece.data(), ask, &written, nullptr))
        return error_from(path, ::GetLastError());
      piece.remove_prefix(written);
    }
  }
  return std::nullopt;
}

// The final path of an open file or folder, links and junctions resolved, in its plain form
// ("C:\dir\file", "\\server\share\file") when that form can name it.
std::optional<std::wstring> final_path(HANDLE handle) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                    FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return std::nullopt;
    if (length < buffer.size()) {
      buffer.resize(length);
      break;
    }
    buffer.resize(length + 1);
  }
  if (buffer.starts_with(L"\\\\?\\UNC\\"))
    buffer = L"\\\\" + buffer.substr(8);
  else if (buffer.starts_with(L"\\\\?\\") && buffer.size() >= 6 && buffer[5] == L':')
    buffer = buffer.substr(4);
  return buffer;
}

// A unique hidden file beside `target` for the new content; its handle, and its path in `name`.
HANDLE create_temporary(const std::wstring& target, std::wstring& name) {
  const std::size_t slash = target.find_last_of(L"\\/");
  const std::wstring folder = target.substr(0, slash + 1);
  const std::wstring base = target.substr(slash + 1);
  static unsigned counter = 0;
  const unsigned seed = ::GetTickCount() ^ (::GetCurrentProcessId() << 16);
  for (int attempt = 0; attempt < 100; ++attempt) {
    wchar_t suffix[8];
    unsigned value = seed + 7919u * ++counter;
    for (int i = 0; i < 6; ++i, value /= 36)
      suffix[i] = static_cast<wchar_t>(L"0123456789abcdefghijklmnopqrstuvwxyz"[value % 36]);
    suffix[6] = L'\0';
    name = folder + L"." + base + win32::to_wide(kTemporaryMark) + suffix;
    HANDLE file = ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

std::optional<IoError> read_file(const std::string& path, std::string& out) {
  return read_whole(path, out);
}

std::optional<IoError> read_file(const std::string& path, PageBuffer& out) {
  return read_whole(path, out);
}

std::optional<IoError> replace_file(const std::string& path,
                                    std::span<const std::string_view> pieces) {
  win32::quiet_drive_errors();
  std::wstring target = win32::system_path(path);
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return error_from(path, ::GetLastError());
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    // A symbolic link or junction: the file it leads to is replaced, the link stays.
    Handle file(open_for_reading(target));
    if (!file.valid()) return error_from(path, ::GetLastError());
    std::optional<std::wstring> resolved = final_path(file.get());
    if (!resolved) return error_from(path, ::GetLastError());
    target = win32::system_path(win32::to_utf8(*resolved));
  }
  DWORD kept = ::GetFileAttributesW(target.c_str());
  if (kept == INVALID_FILE_ATTRIBUTES) return error_from(path, ::GetLastError());
  if ((kept & FILE_ATTRIBUTE_DIRECTORY) != 0) return is_folder(path);
  if ((kept & FILE_ATTRIBUTE_READONLY) != 0) return error_from(path, ERROR_ACCESS_DENIED);

  std::wstring temporary;
  Handle file(create_temporary(target, temporary));
  if (!file.valid()) return error_from(path, ::GetLastError());
  auto fail = [&](std::optional<IoError> error) {
    file.close();
    ::DeleteFileW(temporary.c_str());
    return error;
  };
  if (auto error = write_all(file.get(), pieces, path)) return fail(error);
  if (!::FlushFileBuffers(file.get())) return fail(error_from(path, ::GetLastError()));
  if (!file.close()) return fail(error_from(path, ::GetLastError()));

  // ReplaceFileW gives the new file the old one's ACL, attributes and alternate streams. Where
  // the file system cannot do that, a plain replacing rename, written through, still swaps the
  // content in one step.
  if (::ReplaceFileW(target.c_str(), temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                     nullptr, nullptr))
    return std::nullopt;
  const DWORD replace_error = ::GetLastError();
  if (replace_error == ERROR_SHARING_VIOLATION || replace_error == ERROR_ACCESS_DENIED ||
      replace_error == ERROR_USER_MAPPED_FILE)
    return fail(error_from(path, replace_error));
  ::SetFileAttributesW(temporary.c_str(), kept & ~FILE_ATTRIBUTE_NORMAL);
  if (!::MoveFileExW(temporary.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return fail(error_from(path, ::GetLastError()));
  return std::nullopt;
}

std::optional<IoError> replace_file(const std::string& path, std::string_view content) {
  return replace_file(path, std::span<const std::string_view>(&content, 1));
}

std::optional<std::string> resolved_path(const std::string& path) {
  Handle file(open_for_reading(win32::system_path(path)));
  if (!file.valid()) return std::nullopt;
  std::optional<std::wstring> resolved = final_path(file.get());
  if (!resolved) return std::nullopt;
  return win32::to_utf8(*resolved);
}

std::optional<std::string> PathResolver::resolve(const std::string& path) {
  const std::size_t start = name_start(path);
  const std::string_view name = std::string_view(path).substr(start);
  const DWORD attributes = ::GetFileAttributesW(win32::system_path(path).c_str());
  if (start == 0 || name.empty() || name == "." || name == ".." ||
      attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    return resolved_path(path);
  // An entry that is no link resolves to its folder's resolution followed by its name.
  const std::string folder = path.substr(0, start);
  if (!folder_ || folder != folder_->first) {
    std::optional<std::string> resolved = resolved_path(folder);
    if (!resolved) return std::nullopt;
    folder_.emplace(folder, with_trailing_separator(*resolved));
  }
  return folder_->second + std::string(name);
}

std::optional<IoError> sync_file_systems(std::span<const std::string>) {
  // Each replaced file was flushed before its rename, and the rename written through; flushing a
  // whole volume needs administrator rights on Windows, so there is nothing left to do here.
  return std::nullopt;
}

std::string application_folder() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return with_trailing_separator(".");
    if (length < buffer.size()) {
      buffer.resize(length);
      break;
    }
    buffer.resize(buffer.size() * 2);
  }
  const std::string executable = win32::to_utf8(buffer);
  return executable.substr(0, name_start(executable));
}

std::variant<FileKind, IoError> file_kind(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(win32::system_path(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return FileKind::missing;
    return IoError{path, win32::error_text(code)};
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::folder : FileKind::regular;
}

std::string current_folder() {
  const DWORD length = ::GetCurrentDirectoryW(0, nullptr);
  std::wstring buffer(length, L'\0');
  if (length == 0 || ::GetCurrentDirectoryW(length, buffer.data()) + 1 != length)
    return std::string(1, kFolderSeparator);
  buffer.resize(length - 1);
  return win32::to_utf8(buffer);
}

bool is_temporary_name(std::string_view name) {
  std::size_t mark = name.rfind(kTemporaryMark);
  return !name.empty() && name.front() == '.' && mark != std::string_view::npos &&
         name.size() == mark + kTemporaryMark.size() + 6;
}

}  // namespace qv
