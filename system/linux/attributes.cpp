#include "system/linux/attributes.h"

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include <sys/xattr.h>

namespace qv {
namespace {

constexpr const char* kAccessAcl = "system.posix_acl_access";

// The value of attribute `name` of `fd`; none (with errno set) when it cannot be read.
std::optional<std::string> attribute(int fd, const char* name) {
  std::string value(256, '\0');
  for (;;) {
    const ssize_t got = ::fgetxattr(fd, name, value.data(), value.size());
    if (got >= 0) {
      value.resize(static_cast<std::size_t>(got));
      return value;
    }
    if (errno != ERANGE) return std::nullopt;
    const ssize_t needed = ::fgetxattr(fd, name, nullptr, 0);
    if (needed < 0) return std::nullopt;
    value.resize(static_cast<std::size_t>(needed) + 1);
  }
}

// The names of the attributes of `fd`, each ending in NUL; empty where the file system has none.
std::vector<char> attribute_names(int fd, int& code) {
  std::vector<char> names(1024);
  for (;;) {
    const ssize_t got = ::flistxattr(fd, names.data(), names.size());
    if (got >= 0) {
      names.resize(static_cast<std::size_t>(got));
      return names;
    }
    if (errno == ENOTSUP || errno == ENOSYS) return {};
    if (errno != ERANGE) {
      code = errno;
      return {};
    }
    const ssize_t needed = ::flistxattr(fd, nullptr, 0);
    if (needed < 0) {
      code = errno;
      return {};
    }
    names.resize(static_cast<std::size_t>(needed) + 1);
  }
}

// Whether an access control list, as its extended attribute holds it (a 4-byte version, then
// 8-byte entries of tag, permissions and id), names a user or a group: an entry that the
// permission bits cannot say. An unreadable one counts as naming someone.
bool names_anyone(std::string_view acl) {
  constexpr unsigned kNamedUser = 0x02, kNamedGroup = 0x08;
  if (acl.size() < 4 || (acl.size() - 4) % 8 != 0) return true;
  for (std::size_t at = 4; at < acl.size(); at += 8) {
    const unsigned tag = static_cast<unsigned char>(acl[at]) |
                         static_cast<unsigned>(static_cast<unsigned char>(acl[at + 1])) << 8;
    if (tag == kNamedUser || tag == kNamedGroup) return true;
  }
  return false;
}

std::string refusal(std::string_view name, int code) {
  return "Cannot keep its extended attribute " + std::string(name) + ": " + std::strerror(code);
}

}  // namespace

std::optional<std::string> copy_attributes(int from, int to, bool folder_has_default_acl) {
  int code = 0;
  const std::vector<char> names = attribute_names(from, code);
  if (code != 0) return "Cannot list its extended attributes: " + std::string(std::strerror(code));
  bool access_acl = false;
  for (std::size_t at = 0; at < names.size();) {
    const char* name = names.data() + at;
    at += std::strlen(name) + 1;
    std::optional<std::string> value = attribute(from, name);
    if (!value) {
      // Removed meanwhile; or listed by a share that cannot give its value (SMB1 with Unix
      // extensions lists an access control list on every file), so nothing to keep.
      if (errno == ENODATA || errno == ENOTSUP || errno == EOPNOTSUPP) continue;
      return refusal(name, errno);
    }
    if (std::strcmp(name, kAccessAcl) == 0) access_acl = true;
    if (::fsetxattr(to, name, value->data(), value->size(), 0) == 0) continue;
    // A label the system gave the new file already (a security context, say) need not be set.
    const int refused = errno;
    if (std::optional<std::string> given = attribute(to, name); given && *given == *value) continue;
    // A list that only mirrors the permission bits (some shares show one) is carried by them.
    if (std::strcmp(name, kAccessAcl) == 0 && !names_anyone(*value)) continue;
    return refusal(name, refused);
  }
  if (folder_has_default_acl && !access_acl && ::fremovexattr(to, kAccessAcl) != 0 &&
      errno != ENODATA)
    return refusal(kAccessAcl, errno);
  return std::nullopt;
}

bool acl_names_anyone(int fd) {
  std::optional<std::string> acl = attribute(fd, kAccessAcl);
  return acl && names_anyone(*acl);
}

bool has_default_acl(int folder) {
  // A list of no entries (its 4-byte version alone, as SMB1 with Unix extensions shows on every
  // folder) gives new files nothing.
  return ::fgetxattr(folder, "system.posix_acl_default", nullptr, 0) > 4;
}

}  // namespace qv
