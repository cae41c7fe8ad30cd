#pragma once

// Extended attributes of open files (POSIX sources of the file layer only).
#include <optional>
#include <string>

namespace qv {

// Gives the file `to` every extended attribute of the file `from` (access control lists, user
// attributes, security labels where the process may set them), and drops an access control list
// that `to` inherited from its folder's default when `from` has none. None on success; otherwise
// the reason, naming the attribute that could not be kept.
std::optional<std::string> copy_attributes(int from, int to, bool folder_has_default_acl);

// Whether the open file `fd` has an access control list that names users or groups (more than
// what its permission bits say).
bool acl_names_anyone(int fd);

// Whether the open folder `folder` gives its new files a default access control list.
bool has_default_acl(int folder);

}  // namespace qv
