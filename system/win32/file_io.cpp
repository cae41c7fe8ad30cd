// Win32 implementation of the file layer, through the wide-character API: paths are UTF-8 in the
// program and UTF-16 at the system boundary.
#include "system/file_io.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <type_traits>

#include "system/page_buffer.h"
#include "system/win32/file_access.h"
#include "system/win32/wide.h"
#include "text/path.h"

namespace qv {

namespace win32 {

IoError error_from(const std::string& path, DWORD code) {
  return IoError{path, error_text(code), code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL};
}

Handle open_for_reading(const std::wstring& path) {
  return Handle(::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

std::optional<IoError> regular_file_error(HANDLE file, const std::string& path,
                                          BY_HANDLE_FILE_INFORMATION& info) {
  const DWORD type = ::GetFileType(file);
  if (type == FILE_TYPE_PIPE) return IoError{path, "Not a regular file (a named pipe)"};
  if (type != FILE_TYPE_DISK) return IoError{path, "Not a regular file (a device)"};
  if (!::GetFileInformationByHandle(file, &info)) return error_from(path, ::GetLastError());
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return IoError{path, std::strerror(EISDIR)};
  return std::nullopt;
}

namespace {

// A 32-bit program cannot hold a file of 2 GB or more: refused rather than cut. The reasons are
// the program's own: the system has no text for the size limit under Wine, and a vague one on
// Windows.
constexpr std::uint64_t kLargestFile = std::numeric_limits<std::size_t>::max() / 2;

IoError too_large(const std::string& path) {
  return IoError{path, "File too large (2 GB or more): the 64-bit program takes it"};
}
IoError no_room(const std::string& path) { return IoError{path, "Not enough memory to hold it"}; }

// Sizes `out` to `size` bytes, with room for `capacity`; false when the process has no room
// left for them (a page under the limit may still not fit a 32-bit address space), which the
// page's read then reports instead of the allocation ending the program.
template <typename Buffer>
bool try_resize(Buffer& out, std::size_t size, std::size_t capacity) {
  try {
    if constexpr (std::is_same_v<Buffer, std::string>) out.reserve(capacity);
    out.resize(size);
    return true;
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  out.clear();
  return false;
}

template <typename Buffer>
std::optional<IoError> read_into(HANDLE file, const BY_HANDLE_FILE_INFORMATION& info,
                                 const std::string& path, Buffer& out, std::size_t headroom) {
  const std::uint64_t whole =
      (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  if (whole > kLargestFile) return too_large(path);
  const auto size = static_cast<std::size_t>(whole);
  if (!try_resize(out, size, size + headroom + 1)) return no_room(path);
  std::size_t filled = 0;
  for (;;) {
    if (filled == out.size()) {  // the file grew while it was read
      if (filled > kLargestFile - 65536) return too_large(path);
      if (!try_resize(out, filled + 65536, 0)) return no_room(path);
    }
    const std::size_t room = out.size() - filled;
    DWORD got = 0;
    const DWORD ask = room > (1u << 30) ? (1u << 30) : static_cast<DWORD>(room);
    if (!::ReadFile(file, out.data() + filled, ask, &got, nullptr)) {
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

template <typename Buffer>
std::optional<IoError> read_whole(const std::string& path, Buffer& out) {
  quiet_drive_errors();
  out.clear();
  Handle file = open_for_reading(system_path(path));
  if (!file.valid()) return error_from(path, ::GetLastError());
  BY_HANDLE_FILE_INFORMATION info;
  if (auto error = regular_file_error(file.get(), path, info)) return error;
  return read_into(file.get(), info, path, out, 0);
}

}  // namespace

std::optional<IoError> read_all(HANDLE file, const BY_HANDLE_FILE_INFORMATION& info,
                                const std::string& path, std::string& out, std::size_t headroom) {
  return read_into(file, info, path, out, headroom);
}

std::optional<IoError> read_all(HANDLE file, const BY_HANDLE_FILE_INFORMATION& info,
                                const std::string& path, PageBuffer& out) {
  return read_into(file, info, path, out, 0);
}

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

}  // namespace win32

std::optional<IoError> read_file(const std::string& path, std::string& out) {
  return win32::read_whole(path, out);
}

std::optional<IoError> read_file(const std::string& path, PageBuffer& out) {
  return win32::read_whole(path, out);
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

std::string full_path(std::string_view path) {
  const std::optional<std::wstring> full = win32::full_path(win32::to_wide(path));
  return full ? win32::to_utf8(*full) : std::string(path);
}

}  // namespace qv
