#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qv {

#ifdef _WIN32
inline constexpr char kFolderSeparator = '\\';
#else
inline constexpr char kFolderSeparator = '/';
#endif

// True for a character that separates folders in a path ('/' and, on Windows, '\\' too).
constexpr bool is_separator(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/';
#else
  return c == '/';
#endif
}

// Where the last name of `path` starts: just past its last separator, 0 when it has none.
std::size_t name_start(std::string_view path);

// The folder part of `path`, up to and including its last separator ("/", "c:\\" for a root);
// "." when the path has no separator.
std::string folder_of(std::string_view path);

// Joins a folder and a file name, with a separator between them only when the folder does not
// already end in one (a root folder does).
std::string folder_join(std::string_view folder, std::string_view name);

// Returns the folder with exactly one separator appended when it does not already end in one.
std::string with_trailing_separator(std::string_view folder);

// `path` with "." and ".." resolved by its text alone (a ".." at a root stays there), each run of
// separators made one kFolderSeparator, and no trailing separator (a root keeps its own); "."
// when nothing is left of a relative path.
std::string normal_path(std::string_view path);

}  // namespace qv
