// Linux steps of a page rewrite: every page is reached through a descriptor of the folder that
// really holds it (openat, renameat), so that a path changed meanwhile cannot redirect a write;
// temporary files are locked (flock) while they live, so that a later run can tell the leftovers
// of dead runs from the files of live ones.
#include "system/page_io.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "system/linux/attributes.h"
#include "system/linux/file_systems.h"
#include "system/linux/posix_io.h"
#include "system/page_buffer.h"

namespace qv::sys {

using posix::error_from_errno;

// A folder held open for the batch.
struct Folder {
  posix::Descriptor fd;
  std::string path;  // as reached, for messages
  FileIdentity identity;
  bool default_acl = false;  // new files in it inherit an access control list
  FileSystemTraits traits;   // what its file system does
};

namespace {

// A page is opened without following a final link (a link is resolved on purpose, once) and
// without blocking (a named pipe or a device is refused after fstat, never waited on).
constexpr int kOpenPage = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

int fd_of(const File& file) { return static_cast<int>(file.get()); }

// Whether the process belongs to group `group` (its own or a supplementary one).
bool in_group(std::uint32_t group) {
  if (group == ::getegid()) return true;
  const int count = ::getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  const int got = ::getgroups(count, groups.data());
  return std::find(groups.begin(), groups.begin() + std::max(got, 0), group) !=
         groups.begin() + std::max(got, 0);
}

// Whether the process (not the superuser) may write a file with `status`'s mode, owner and group,
// by the permission bits alone.
bool mode_grants_write(const FileStatus& status) {
  if (status.owner == ::geteuid()) return (status.mode & S_IWUSR) != 0;
  return (status.mode & (in_group(status.group) ? S_IWGRP : S_IWOTH)) != 0;
}

// Whether the entry `name` of the folder `at` has an access control list with named users or
// groups (which then decides its access, not the mode alone).
bool has_extended_acl(int at, const std::string& name) {
  posix::Descriptor file(::openat(at, name.c_str(), kOpenPage));
  return file.get() >= 0 && acl_names_anyone(file.get());
}

FileStatus status_of(const struct stat& info) {
  auto ns = [](const timespec& t) { return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec; };
  return {{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)},
          static_cast<std::uint64_t>(info.st_size),
          ns(info.st_mtim),
          ns(info.st_ctim),
          static_cast<std::uint32_t>(info.st_mode),
          static_cast<std::uint32_t>(info.st_uid),
          static_cast<std::uint32_t>(info.st_gid)};
}

EntryPlace split(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

void reserve_for(PageBuffer&, std::size_t) {}
// Empty, so nothing is copied; one byte more for the read that finds the end.
void reserve_for(std::string& out, std::size_t size) { out.reserve(size + 1); }

template <typename Buffer>
std::optional<IoError> read_opened(const File& file, const std::string& path, FileStatus& status,
                                   Buffer& out, std::size_t headroom) {
  struct stat info {};
  if (::fstat(fd_of(file), &info) != 0) return error_from_errno(path, errno);
  if (std::optional<IoError> error = posix::regular_file_error(path, info)) return error;
  status = status_of(info);
  reserve_for(out, static_cast<std::size_t>(info.st_size) + headroom);
  if (int code = posix::read_all(fd_of(file), info, out)) return error_from_errno(path, code);
  return std::nullopt;
}

}  // namespace

bool close_file(NativeFile file) { return ::close(static_cast<int>(file)) == 0; }

EntryPlace place_of(const std::string& path) { return split(path); }

std::variant<EntryPlace, IoError> resolve_link(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return error_from_errno(path, errno);
  EntryPlace place = split(resolved);
  std::free(resolved);
  return place;
}

std::variant<std::shared_ptr<Folder>, IoError> open_folder(const std::string& folder_path,
                                                           const std::string& path) {
  int fd;
  do {
    fd = ::open(folder_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return error_from_errno(path, errno);
  auto folder = std::make_shared<Folder>();
  folder->fd = posix::Descriptor(fd);
  folder->path = folder_path;
  struct stat info {};
  if (::fstat(fd, &info) != 0) return error_from_errno(path, errno);
  folder->identity = status_of(info).identity;
  folder->default_acl = has_default_acl(fd);
  struct statfs kind {};
  folder->traits = traits_of_file_system(
      ::fstatfs(fd, &kind) == 0 ? static_cast<unsigned long>(kind.f_type) : 0);
  return folder;
}

FileIdentity identity_of(const Folder& folder) { return folder.identity; }

FolderCapabilities capabilities_of(const Folder& folder) { return folder.traits.can; }

std::string mount_words(const Folder& folder) {
  char* full = ::realpath(folder.path.c_str(), nullptr);
  const std::string where = full != nullptr ? full : folder.path;
  std::free(full);
  return mount_words_for(where);
}

std::variant<File, EntryIsLink, IoError> open_entry(const Folder& folder, const std::string& name,
                                                    const std::string& path) {
  int fd;
  do {
    fd = ::openat(folder.fd.get(), name.c_str(), kOpenPage);
  } while (fd < 0 && errno == EINTR);
  if (fd >= 0) return File(fd);
  if (errno == ELOOP) return EntryIsLink{};
  return error_from_errno(path, errno);
}

std::optional<IoError> read_whole(const File& file, const std::string& path, FileStatus& status,
                                  std::string& out, std::size_t headroom) {
  return read_opened(file, path, status, out, headroom);
}
std::optional<IoError> read_whole(const File& file, const std::string& path, FileStatus& status,
                                  PageBuffer& out) {
  return read_opened(file, path, status, out, 0);
}

std::variant<FileStatus, std::monostate, IoError> replace_candidate(const Folder& folder,
                                                                    const std::string& name,
                                                                    const std::string&) {
  struct stat now {};
  if (::fstatat(folder.fd.get(), name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0)
    return std::monostate{};
  return status_of(now);
}

std::optional<IoError> check_writable(const Folder& folder, const std::string& name,
                                      const FileStatus& status, const std::string& path) {
  // The rename that replaces the page would otherwise bypass the page's own permission. The
  // superuser may write anything, so for it a page whose mode grants no write bit to anyone
  // counts as deliberately read-only.
  if (::geteuid() == 0) {
    if ((status.mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return error_from_errno(path, EACCES);
    return std::nullopt;
  }
  if (::faccessat(folder.fd.get(), name.c_str(), W_OK, AT_EACCESS) != 0)
    return error_from_errno(path, errno);
  // Some mounts (sshfs, other FUSE and network file systems) answer yes to any access check and
  // would let the rename replace a page its mode forbids: the mode and owner are judged here as
  // the kernel would, unless an access control list with entries of its own decides instead.
  if (!mode_grants_write(status) && !has_extended_acl(folder.fd.get(), name))
    return error_from_errno(path, EACCES);
  return std::nullopt;
}

std::variant<File, NameTaken, IoError> create_temporary(const Folder& folder,
                                                        const std::string& name,
                                                        const std::string& path) {
  const int fd = ::openat(folder.fd.get(), name.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (errno == EEXIST || errno == EINTR) return NameTaken{error_from_errno(path, EEXIST)};
    return error_from_errno(path, errno);
  }
  // Locked, and still in the folder: a cleaning run may have removed it before the lock.
  struct stat info {};
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &info) == 0 && info.st_nlink > 0)
    return File(fd);
  ::close(fd);
  return NameTaken{error_from_errno(path, EEXIST)};
}

std::optional<IoError> write_pieces(const File& file, std::span<const std::string_view> pieces,
                                    const std::string& path) {
  if (int code = posix::write_all(fd_of(file), pieces)) return error_from_errno(path, code);
  return std::nullopt;
}

void start_writeback(const File& file) {
  ::sync_file_range(fd_of(file), 0, 0, SYNC_FILE_RANGE_WRITE);
}

std::optional<IoError> flush_file(const File& file, const std::string& path) {
  if (::fsync(fd_of(file)) != 0) return error_from_errno(path, errno);
  return std::nullopt;
}

std::optional<IoError> lack_of_room(const Folder& folder, std::uint64_t needed,
                                    const std::string& path) {
  struct statvfs room {};
  if (::fstatvfs(folder.fd.get(), &room) != 0) return std::nullopt;
  if (std::uint64_t{room.f_bavail} * room.f_frsize >= needed) return std::nullopt;
  return error_from_errno(path, ENOSPC);
}

std::optional<IoError> flush_file_system(const Folder& folder) {
  if (::syncfs(folder.fd.get()) != 0) return error_from_errno(folder.path, errno);
  return std::nullopt;
}

std::optional<IoError> keep_attributes(const Folder& folder, const std::string& name,
                                       const File& page, const FileStatus& status,
                                       const File& temporary, const std::string& path,
                                       unsigned& not_kept) {
  not_kept = kept_all;
  const int fd = fd_of(temporary);
  const Ownership ownership = folder.traits.ownership;
  const bool root = ::geteuid() == 0;
  int group_refused = 0;  // why the group could not be set, if it could not
  if (ownership != Ownership::mount &&
      (status.owner != ::geteuid() || status.group != ::getegid()) &&
      ::fchown(fd, status.owner, status.group) != 0) {
    // Only the superuser may give the file away (and a share may refuse even that); the group
    // alone can still be kept by a member of it.
    if (root && ownership == Ownership::per_file) return error_from_errno(path, errno);
    if (::fchown(fd, static_cast<uid_t>(-1), status.group) != 0) group_refused = errno;
  }
  // After fchown, which clears file capabilities, and before fchmod, since a read-only mode
  // would forbid setting user attributes. A page no longer held is opened again for them.
  posix::Descriptor reopened;
  if (!page.valid())
    reopened = posix::Descriptor(::openat(folder.fd.get(), name.c_str(), kOpenPage));
  const int from = page.valid() ? fd_of(page) : reopened.get();
  if (from < 0) return error_from_errno(path, errno);
  if (std::optional<std::string> refusal = copy_attributes(from, fd, folder.default_acl))
    return IoError{path, *refusal};
  // After fchown, which clears set-user-ID and set-group-ID bits. Where the mount decides the
  // mode, it is asked for (it may take the read-only part) but not required.
  const int mode_refused = ::fchmod(fd, status.mode & 07777) != 0 ? errno : 0;
  if (mode_refused != 0 && ownership == Ownership::per_file)
    return error_from_errno(path, mode_refused);
  if (ownership == Ownership::per_file) return std::nullopt;
  // What the mount left otherwise, among what this process could set on a file of its own.
  struct stat now {};
  if (::fstat(fd, &now) != 0) return error_from_errno(path, errno);
  if (root && now.st_uid != status.owner) not_kept |= owner_not_kept;
  const bool other_group = (root || in_group(status.group)) && now.st_gid != status.group;
  const bool other_mode = (now.st_mode & 07777) != (status.mode & 07777);
  // A group or mode the mount gives every file is the same on the page. One this process was
  // refused and that differs from the page's is the file's own (a share that keeps owners, seen
  // through another account's session): the page would change hands, and is refused.
  if (other_group && group_refused != 0)
    return IoError{path, std::string("Cannot keep its group: ") + std::strerror(group_refused)};
  if (other_mode && mode_refused != 0)
    return IoError{path,
                   std::string("Cannot keep its permissions: ") + std::strerror(mode_refused)};
  if (other_group) not_kept |= group_not_kept;
  if (other_mode) not_kept |= mode_not_kept;
  return std::nullopt;
}

std::variant<std::monostate, CannotRenameOver, IoError> replace(const Folder& folder,
                                                                const std::string& name,
                                                                const std::string& temporary_name,
                                                                File&, const FileStatus&,
                                                                const std::string& path) {
  const int at = folder.fd.get();
  if (::renameat(at, temporary_name.c_str(), at, name.c_str()) == 0) return std::monostate{};
  // Shares without POSIX semantics (SMB1 without its Unix extensions) refuse to rename over a
  // file.
  if (errno == EEXIST) return CannotRenameOver{};
  return error_from_errno(path, errno);
}

std::optional<IoError> write_new_file(const Folder& folder, const std::string& name,
                                      std::string_view bytes, const std::string& path) {
  posix::Descriptor file(::openat(folder.fd.get(), name.c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (file.get() < 0) return error_from_errno(path, errno);
  if (int code = posix::write_all(file.get(), std::span<const std::string_view>(&bytes, 1)))
    return error_from_errno(path, code);
  if (::fsync(file.get()) != 0 || file.close() != 0) return error_from_errno(path, errno);
  return std::nullopt;
}

std::optional<std::string> read_small_file(const Folder& folder, const std::string& name,
                                           std::size_t limit) {
  posix::Descriptor file(::openat(folder.fd.get(), name.c_str(), kOpenPage));
  struct stat info {};
  if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      static_cast<std::size_t>(info.st_size) > limit)
    return std::nullopt;
  std::string text;
  if (posix::read_all(file.get(), info, text) != 0) return std::nullopt;
  return text;
}

std::optional<IoError> rename_entry(const Folder& folder, const std::string& from,
                                    const std::string& to, const std::string& path) {
  const int at = folder.fd.get();
  if (::renameat(at, from.c_str(), at, to.c_str()) != 0) return error_from_errno(path, errno);
  return std::nullopt;
}

std::optional<IoError> remove_entry(const Folder& folder, const std::string& name,
                                    const std::string& path) {
  if (::unlinkat(folder.fd.get(), name.c_str(), 0) != 0) return error_from_errno(path, errno);
  return std::nullopt;
}

std::optional<IoError> flush_folder(const Folder& folder, const std::string& path) {
  // Some file systems cannot flush a folder by itself; theirs are flushed with the files.
  if (::fsync(folder.fd.get()) != 0 && errno != EINVAL && errno != EROFS)
    return error_from_errno(path, errno);
  return std::nullopt;
}

std::optional<IoError> close_checked(File& file, const std::string& path) {
  if (!file.close()) return error_from_errno(path, errno);
  return std::nullopt;
}

void discard_temporary(const Folder& folder, const std::string& name, File& temporary) {
  // Removed while still locked, so that no cleaning run takes it for a leftover meanwhile; but a
  // share may refuse to remove a file still open, so there it is closed first.
  if (folder.traits.can.page_release == PageRelease::before_replace) temporary.reset();
  ::unlinkat(folder.fd.get(), name.c_str(), 0);
  temporary.reset();
}

std::optional<IoError> lock_folder(const Folder& folder, const std::string& path) {
  for (int waited_ms = 0;; ++waited_ms) {
    if (::flock(folder.fd.get(), LOCK_EX | LOCK_NB) == 0) return std::nullopt;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return std::nullopt;
    if (waited_ms >= 10000) return error_from_errno(path, EWOULDBLOCK);
    ::usleep(1000);
  }
}

void unlock_folder(const Folder& folder) { ::flock(folder.fd.get(), LOCK_UN); }

std::vector<std::string> names_starting_with(const Folder& folder, std::string_view prefix) {
  std::vector<std::string> names;
  const int listing_fd = ::openat(folder.fd.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listing_fd < 0) return names;
  DIR* listing = ::fdopendir(listing_fd);
  if (listing == nullptr) {
    ::close(listing_fd);
    return names;
  }
  while (const dirent* entry = ::readdir(listing))
    if (std::string_view(entry->d_name).starts_with(prefix)) names.emplace_back(entry->d_name);
  ::closedir(listing);
  return names;
}

void remove_if_dead(const Folder& folder, const std::string& name,
                    const std::function<bool(Hold)>& dead) {
  // Opened for writing where allowed: a network file system's lock needs it, and then reaches
  // the server, so that a run on another machine holding the file is seen too.
  posix::Descriptor file(::openat(folder.fd.get(), name.c_str(),
                                  O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) file = posix::Descriptor(::openat(folder.fd.get(), name.c_str(), kOpenPage));
  struct stat held {
  }, named{};
  if (file.get() < 0 || ::fstat(file.get(), &held) != 0 || !S_ISREG(held.st_mode)) return;
  Hold hold = Hold::unheld;
  if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0)
    hold = errno == EWOULDBLOCK ? Hold::held : Hold::unknown;
  if (hold == Hold::held || !dead(hold)) return;
  // Still the file tested (not one a live run created under that name since): remove it.
  if (::fstatat(folder.fd.get(), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
      named.st_ino == held.st_ino && named.st_dev == held.st_dev)
    ::unlinkat(folder.fd.get(), name.c_str(), 0);
}

std::size_t staging_capacity() {
  // Two descriptors a page, within the process's limit, leaving room for everything else (the
  // replaced pages waiting in the close pool, the folders, the program's own files).
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 512;
  const auto allowed = static_cast<std::size_t>(limit.rlim_cur);
  return std::clamp<std::size_t>(allowed > 256 ? (allowed - 256) / 2 : 1, 1, 512);
}

}  // namespace qv::sys
