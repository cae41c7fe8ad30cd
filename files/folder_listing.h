#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qv {

// The names of the files in `folder` that match `pattern` (see matches_pattern), in alphabetical
// order ignoring case. Folders and hidden files (names starting with a dot) are left out; so is
// anything the folder does not let us read. A missing or unreadable folder lists nothing.
std::vector<std::string> list_files(const std::string& folder, std::string_view pattern);

// The names of the subfolders of `folder`, hidden ones left out, in alphabetical order ignoring
// case.
std::vector<std::string> list_subfolders(const std::string& folder);

// The names of the entries of `folder` that its listing alone shows to be regular files (not
// links; hidden names included), in no order, without looking at any file. Empty when the folder
// cannot be listed; a file system that does not tell the kinds in its listing leaves names out.
std::vector<std::string> regular_file_entries(const std::string& folder);

// Orders names alphabetically without regard to letter case, ties broken by the exact bytes.
void sort_names(std::vector<std::string>& names);

}  // namespace qv
