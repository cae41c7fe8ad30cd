#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <windows.h>

// Conversions at the Win32 boundary: the program holds paths as UTF-8, the system takes UTF-16.
namespace qv::win32 {

// UTF-16 of UTF-8 text; invalid bytes become U+FFFD.
std::wstring to_wide(std::string_view text);

// UTF-8 of UTF-16 text; unpaired surrogates become U+FFFD.
std::string to_utf8(std::wstring_view text);

// `path` made absolute by GetFullPathNameW; none when the system cannot.
std::optional<std::wstring> full_path(const std::wstring& path);

// The form of `path` to hand to the wide file functions: absolute, and in the "\\?\" form when
// it is too long for the classic limit. The path itself (as UTF-16) when it cannot be made full.
std::wstring system_path(const std::string& path);

// The system's message for `code` (a GetLastError value), one line, without the final period.
std::string error_text(DWORD code);

// Keeps the system from asking the user about a drive that is not ready (an empty card reader):
// the call fails with ERROR_NOT_READY instead. Done once per process.
void quiet_drive_errors();

}  // namespace qv::win32
