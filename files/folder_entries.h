#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "files/file_io.h"

// The one platform-specific step of folder listings (files/ only): reading a folder's entries.
namespace qv::detail {

enum class EntryKind { file, folder };
// Whether an entry that is a symbolic link counts as what it leads to, or is left out.
enum class Links { follow, skip };

// The names of the visible entries of `folder` of the given kind that `accept` takes, in no
// particular order; the error when the folder cannot be opened.
std::variant<std::vector<std::string>, IoError> read_entries(
    const std::string& folder, EntryKind kind, Links links,
    const std::function<bool(std::string_view)>& accept);

}  // namespace qv::detail
