// Linux steps of a page rewrite: every page is reached through a descriptor of the folder that
// really holds it (openat, renameat), so that a path changed meanwhile cannot redirect a write;
// temporary files are locked (flock) while they live, so that a later run can tell the leftovers
// of dead runs from the files of live ones.
#include "system/page_io.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "system/linux/attributes.h"
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
};

namespace {

// A page is opened without following a final link (a link is resolved on purpose, once) and
// without blocking (a named pipe or a device is refused after fstat, never waited on).
constexpr int kOpenPage = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

int fd_of(const File& file) { return static_cast<int>(file.get()); }

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
  return folder;
}

FileIdentity identity_of(const Folder& folder) { return folder.identity; }

FolderCapabilities capabilities_of(const Folder&) {
  return {FlushScope::whole_file_system, PageRelease::in_background_after_replace,
          ReplaceLock::folder_lock};
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

std::optional<IoError> flush_file_system(const Folder& folder) {
  if (::syncfs(folder.fd.get()) != 0) return error_from_errno(folder.path, errno);
  return std::nullopt;
}

std::optional<IoError> keep_attributes(const Folder& folder, const std::string& name,
                                       const File& page, const FileStatus& status,
                                       const File& temporary, const std::string& path) {
  const int fd = fd_of(temporary);
  if (status.owner != ::geteuid() || status.group != ::getegid()) {
    // Only the superuser may give the file away; others keep what the system allows.
    if (::fchown(fd, status.owner, status.group) != 0 && ::geteuid() == 0)
      return error_from_errno(path, errno);
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
  // After fchown, which clears set-user-ID and set-group-ID bits.
  if (::fchmod(fd, status.mode & 07777) != 0) return error_from_errno(path, errno);
  return std::nullopt;
}

std::optional<IoError> replace(const Folder& folder, const std::string& name,
                               const std::string& temporary_name, File&, const FileStatus&,
                               const std::string& path) {
  const int at = folder.fd.get();
  if (::renameat(at, temporary_name.c_str(), at, name.c_str()) != 0)
    return error_from_errno(path, errno);
  return std::nullopt;
}

void discard_temporary(const Folder& folder, const std::string& name, File& temporary) {
  // Removed while still locked, so that no cleaning run takes it for a leftover meanwhile.
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

void remove_if_unheld(const Folder& folder, const std::string& name) {
  posix::Descriptor file(::openat(folder.fd.get(), name.c_str(), kOpenPage));
  struct stat held {
  }, named{};
  if (file.get() < 0 || ::fstat(file.get(), &held) != 0 || !S_ISREG(held.st_mode)) return;
  if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) return;  // a live run's
  // Still the file locked (not one a live run created under that name since): remove it.
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
