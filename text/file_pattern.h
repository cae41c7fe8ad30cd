#pragma once

#include <string_view>

namespace qv {

// True when `name` matches the file-list pattern: one or more patterns separated by ';', each
// trimmed of spaces, where '*' matches any run of characters and '?' one character (names are
// taken as UTF-8), letters compared without regard to case (Unicode simple case folding). A pattern
// ending in ".*" also matches a name with no extension, so "*.*" matches every name. An empty
// pattern matches nothing.
bool matches_pattern(std::string_view name, std::string_view pattern);

}  // namespace qv
