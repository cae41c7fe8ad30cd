#pragma once

// Conversions between the bytes the program holds and the UTF-16 text the system shows.

#include <string>
#include <string_view>

namespace qv::win32 {

// `bytes` as UTF-16: decoded as UTF-8, or, when they are not valid UTF-8 (a page in a legacy
// encoding), in the system's ANSI code page.
std::wstring widen(std::string_view bytes);

// (UTF-16 text back to UTF-8: win32::to_utf8, system/win32/wide.h.)

}  // namespace qv::win32
