#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "system/folder_entries.h"

namespace qv {

// The names of the files in `folder` that match `pattern` (see matches_pattern), in alphabetical
// order ignoring case. Folders and hidden files (names starting with a dot) are left out; so is
// anything the folder does not let us read. A missing or unreadable folder lists nothing.
std::vector<std::string> list_files(const std::string& folder, std::string_view pattern);

// The names of the subfolders of `folder`, hidden ones left out, in alphabetical order ignoring
// case.
std::vector<std::string> list_subfolders(const std::string& folder);

// Whether a folder's subfolders are walked too.
enum class Recursion { top_folder_only, into_subfolders };

// Told of each folder a listing could not open; such a folder contributes no page.
using UnlistableFolder = std::function<void(const IoError&)>;

// The paths of the files in `folder` matching `pattern`, in list_files order, followed, when
// recursing, by those of each subfolder in list_subfolders order. Hidden subfolders and links to
// folders are not entered; a folder that cannot be opened is passed to `unlistable` (when given).
std::vector<std::string> list_folder_pages(const std::string& folder, std::string_view pattern,
                                           Recursion recursion,
                                           const UnlistableFolder& unlistable = {});

// Orders names alphabetically without regard to letter case, ties broken by the exact bytes.
void sort_names(std::vector<std::string>& names);

}  // namespace qv
