#pragma once

#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "cli/arguments.h"
#include "files/folder_listing.h"
#include "system/file_io.h"

namespace qv::cli {

// Turns the paths of a command line into the pages of a run, in order: a path that is not a
// folder is one page; a folder gives its files matching `pattern`, listed as the window lists
// them (alphabetical order ignoring case, hidden files left out), followed, when recursing, by
// the pages of each sub-folder in the same order. Hidden sub-folders and symbolic links to
// folders are not entered. Every path is checked before anything is listed: the first one that
// does not exist, or a folder that cannot be opened, is returned as the error. A sub-folder that
// cannot be opened is passed to `unlistable` and left out.
std::variant<std::vector<std::string>, IoError> list_pages(std::span<const std::string> paths,
                                                           std::string_view pattern,
                                                           Recursion recursion,
                                                           const UnlistableFolder& unlistable);

}  // namespace qv::cli
