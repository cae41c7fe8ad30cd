#pragma once

// Steps shared by the Win32 sources of the file layer (not part of its interface).
#include <optional>
#include <string>

#include "system/file_io.h"
#include "system/win32/handle.h"

namespace qv {

class PageBuffer;

namespace win32 {

// The error for `path` with the system's reason for `code` (a GetLastError value).
IoError error_from(const std::string& path, DWORD code);

// Opens `path` (a system path) for reading, following links; a folder opens too, so that it can
// be told apart. Never keeps others from reading, writing or renaming the file.
Handle open_for_reading(const std::wstring& path);

// Why `file`, just opened, is not a regular file; none when it is one. Devices (CON, NUL, a
// COM port), pipes and folders are refused: reading them would block, never end or mean nothing.
// `info` receives what the system says of the file.
std::optional<IoError> regular_file_error(HANDLE file, const std::string& path,
                                          BY_HANDLE_FILE_INFORMATION& info);

// Reads `file` from its start to its end into `out` (its size announced by `info`, but a file
// that grows meanwhile is read whole); `headroom` bytes are reserved beyond it.
std::optional<IoError> read_all(HANDLE file, const BY_HANDLE_FILE_INFORMATION& info,
                                const std::string& path, std::string& out,
                                std::size_t headroom = 0);
std::optional<IoError> read_all(HANDLE file, const BY_HANDLE_FILE_INFORMATION& info,
                                const std::string& path, PageBuffer& out);

// The final path of an open file or folder, links and junctions resolved, in its plain form
// ("C:\dir\file", "\\server\share\file") when that form can name it.
std::optional<std::wstring> final_path(HANDLE handle);

}  // namespace win32
}  // namespace qv
