#pragma once

#include <string>
#include <string_view>

namespace qv {

#ifdef _WIN32
inline constexpr char kFolderSeparator = '\\';
#else
inline constexpr char kFolderSeparator = '/';
#endif

// Joins a folder and a file name, with a separator between them only when the folder does not
// already end in one (a root folder does).
std::string folder_join(std::string_view folder, std::string_view name);

// Returns the folder with exactly one separator appended when it does not already end in one.
std::string with_trailing_separator(std::string_view folder);

}  // namespace qv
