#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "system/file_io.h"

namespace qv {

// What a path names, links followed: a folder, or anything else (read as a page).
enum class PathKind { page, folder };

// What `path` names; the error when it does not exist, cannot be looked at, or is a folder that
// cannot be opened.
std::variant<PathKind, IoError> path_kind(const std::string& path);

// The names of the entries of `folder` that its listing alone shows to be regular files (not
// links; hidden names included), in no order, without looking at any file. Empty when the folder
// cannot be listed; a file system that does not tell the kinds in its listing leaves names out.
std::vector<std::string> regular_file_entries(const std::string& folder);

// The one platform-specific step of folder listings (files/ only): reading a folder's entries.
namespace detail {

enum class EntryKind { file, folder };
// Whether an entry that is a symbolic link counts as what it leads to, or is left out.
enum class Links { follow, skip };

// The names of the visible entries of `folder` of the given kind that `accept` takes, in no
// particular order; the error when the folder cannot be opened.
std::variant<std::vector<std::string>, IoError> read_entries(
    const std::string& folder, EntryKind kind, Links links,
    const std::function<bool(std::string_view)>& accept);

}  // namespace detail
}  // namespace qv
