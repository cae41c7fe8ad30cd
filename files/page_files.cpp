// POSIX implementation of page rewrites: every page is reached through a descriptor of the folder
// that really holds it (openat, renameat), so that a path changed meanwhile cannot redirect a
// write; temporary files are locked while they live, so that a later run can tell the leftovers
// of dead runs from the files of live ones.
#include "files/page_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tuple>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "files/attributes.h"
#include "files/close_pool.h"
#include "files/fault_injection.h"
#include "files/page_buffer.h"
#include "files/posix_io.h"
#include "files/temporary_name.h"

namespace qv {

using posix::Descriptor;
using posix::error_from_errno;

namespace {

// A page is opened without following a final link (a link is resolved on purpose, once) and
// without blocking (a named pipe or a device is refused after fstat, never waited on).
constexpr int kOpenPage = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

}  // namespace

// A folder held open for the batch.
struct Folder {
  Descriptor fd;
  std::string path;  // as reached, for messages
  struct stat info {};
  bool default_acl = false;  // new files in it inherit an access control list
};

struct OpenedPage::State {
  std::string path;
  EntryIdentity entry;
  std::shared_ptr<Folder> folder;
  Descriptor page;
  struct stat read_info {};
  Descriptor temporary;
  std::string temporary_name;
  std::uint64_t staged = 0;

  State() = default;
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  ~State() { discard_temporary(); }

  // Removes the staged file, if any, while still holding its lock.
  void discard_temporary() {
    if (temporary.get() < 0) return;
    ::unlinkat(folder->fd.get(), temporary_name.c_str(), 0);
    temporary.reset();
    staged = 0;
  }
};

struct PageFiles::Folders {
  const uid_t user = ::geteuid();
  const gid_t group = ::getegid();
  std::map<std::string, std::shared_ptr<Folder>> by_path;  // the folders reached lately
  std::set<FileIdentity> cleaned;  // folders already cleared of dead runs' leftovers
  std::map<dev_t, std::shared_ptr<Folder>>
      staged;  // a folder of each file system with staged files
  std::map<dev_t, std::shared_ptr<Folder>> written;  // and with replaced pages
  std::shared_ptr<Folder> locked;  // the folder whose lock this batch holds, if any
  posix::ClosePool closes;         // the descriptors of replaced pages, closed meanwhile

  void unlock() {
    if (locked) ::flock(locked->fd.get(), LOCK_UN);
    locked.reset();
  }

  std::variant<std::shared_ptr<Folder>, int> open(const std::string& path) {
    if (auto found = by_path.find(path); found != by_path.end()) return found->second;
    int fd;
    do {
      fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return errno;
    auto folder = std::make_shared<Folder>();
    folder->fd = Descriptor(fd);
    folder->path = path;
    if (::fstat(fd, &folder->info) != 0) return errno;
    folder->default_acl = has_default_acl(fd);
    if (by_path.size() >= 16) by_path.clear();  // a batch moves on from folder to folder
    by_path.emplace(path, folder);
    return folder;
  }
};

namespace {

FileIdentity identity_of(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

// Splits a path into its folder and its last name.
std::pair<std::string, std::string> split(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// Removes the temporary files in `folder` that no live run holds locked: the leftovers of runs
// that were killed. Best effort: a file that cannot be examined is left alone.
void remove_leftovers(const Folder& folder) {
  const int listing_fd = ::openat(folder.fd.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listing_fd < 0) return;
  DIR* listing = ::fdopendir(listing_fd);
  if (listing == nullptr) {
    ::close(listing_fd);
    return;
  }
  while (const dirent* entry = ::readdir(listing)) {
    if (!is_temporary_name(entry->d_name)) continue;
    Descriptor file(::openat(folder.fd.get(), entry->d_name, kOpenPage));
    struct stat held {
    }, named{};
    if (file.get() < 0 || ::fstat(file.get(), &held) != 0 || !S_ISREG(held.st_mode)) continue;
    if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) continue;  // a live run's
    // Still the file locked (not one a live run created under that name since): remove it.
    if (::fstatat(folder.fd.get(), entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        named.st_ino == held.st_ino && named.st_dev == held.st_dev)
      ::unlinkat(folder.fd.get(), entry->d_name, 0);
  }
  ::closedir(listing);
}

// Creates a new temporary file in `folder`, locked for as long as it stays open. A name another
// run holds, or a file a cleaning run removed before the lock was taken, is given up for another.
int create_temporary(const Folder& folder, std::string& name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = detail::new_temporary_name();
    const int fd = ::openat(folder.fd.get(), name.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST || errno == EINTR) continue;
      return -errno;
    }
    struct stat info {};
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &info) == 0 && info.st_nlink > 0)
      return fd;
    ::close(fd);
  }
  return -EEXIST;
}

// Whether the entry still is the file that was read, unchanged.
bool unchanged(const struct stat& now, const struct stat& read) {
  return now.st_dev == read.st_dev && now.st_ino == read.st_ino && now.st_size == read.st_size &&
         now.st_mtim.tv_sec == read.st_mtim.tv_sec && now.st_mtim.tv_nsec == read.st_mtim.tv_nsec &&
         now.st_ctim.tv_sec == read.st_ctim.tv_sec && now.st_ctim.tv_nsec == read.st_ctim.tv_nsec;
}

// Takes the folder's lock, under which runs check a page and replace it, so that two runs cannot
// both replace one version of a page. Waits up to ten seconds for another holder; a file system
// without locks is used without.
int lock_folder(const Folder& folder) {
  for (int waited_ms = 0;; ++waited_ms) {
    if (::flock(folder.fd.get(), LOCK_EX | LOCK_NB) == 0) return 0;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return 0;
    if (waited_ms >= 10000) return EWOULDBLOCK;
    ::usleep(1000);
  }
}

// Opens the entry `name` of `folder`: a descriptor, or minus an errno value (ELOOP for a link).
int open_entry(const Folder& folder, const std::string& name) {
  int fd;
  do {
    fd = ::openat(folder.fd.get(), name.c_str(), kOpenPage);
  } while (fd < 0 && errno == EINTR);
  return fd >= 0 ? fd : -errno;
}

void reserve(PageBuffer&, std::size_t) {}
// Empty, so nothing is copied; one byte more for the read that finds the end.
void reserve(std::string& out, std::size_t size) { out.reserve(size + 1); }

// Reads the page whose entry `name` of `folder` was opened as `opened` (see open_entry).
template <typename Buffer>
std::variant<OpenedPage, IoError> read_opened(std::shared_ptr<Folder> folder, std::string name,
                                              int opened, const std::string& path, Buffer& out,
                                              std::size_t headroom) {
  out.clear();
  if (opened == -ELOOP) return IoError{path, "Not a regular file (a symbolic link)"};
  if (opened < 0) return error_from_errno(path, -opened);
  auto state = std::make_unique<OpenedPage::State>();
  state->page = Descriptor(opened);
  if (::fstat(opened, &state->read_info) != 0) return error_from_errno(path, errno);
  if (std::optional<IoError> error = posix::regular_file_error(path, state->read_info))
    return *error;
  reserve(out, static_cast<std::size_t>(state->read_info.st_size) + headroom);
  if (int code = posix::read_all(opened, state->read_info, out))
    return error_from_errno(path, code);
  state->path = path;
  state->entry = EntryIdentity{identity_of(folder->info), std::move(name)};
  state->folder = std::move(folder);
  return OpenedPage(std::move(state));
}

template <typename Buffer>
std::variant<OpenedPage, IoError> read_page(PageFiles::Folders& folders, const std::string& path,
                                            Buffer& out, std::size_t headroom) {
  auto [folder_path, name] = split(path);
  std::variant<std::shared_ptr<Folder>, int> folder = folders.open(folder_path);
  if (const int* code = std::get_if<int>(&folder)) {
    out.clear();
    return error_from_errno(path, *code);
  }
  int opened = open_entry(*std::get<0>(folder), name);
  if (opened == -ELOOP) {
    // The name is a link, resolved here, once: from now on the page is the entry its target
    // names, in the folder that holds that entry.
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
      out.clear();
      return error_from_errno(path, errno);
    }
    std::tie(folder_path, name) = split(resolved);
    std::free(resolved);
    folder = folders.open(folder_path);
    if (const int* code = std::get_if<int>(&folder)) {
      out.clear();
      return error_from_errno(path, *code);
    }
    opened = open_entry(*std::get<0>(folder), name);
  }
  return read_opened(std::get<0>(std::move(folder)), std::move(name), opened, path, out, headroom);
}

}  // namespace

OpenedPage::OpenedPage(std::unique_ptr<State> state) : state_(std::move(state)) {}
OpenedPage::OpenedPage(OpenedPage&&) noexcept = default;
OpenedPage& OpenedPage::operator=(OpenedPage&&) noexcept = default;
OpenedPage::~OpenedPage() = default;
const std::string& OpenedPage::path() const { return state_->path; }
const EntryIdentity& OpenedPage::entry() const { return state_->entry; }
std::uint64_t OpenedPage::staged_size() const { return state_->staged; }

PageFiles::PageFiles() : folders_(std::make_unique<Folders>()) {}
PageFiles::~PageFiles() = default;

std::variant<OpenedPage, IoError> PageFiles::read(const std::string& path, PageBuffer& out) {
  return read_page(*folders_, path, out, 0);
}
std::variant<OpenedPage, IoError> PageFiles::read(const std::string& path, std::string& out,
                                                  std::size_t headroom) {
  return read_page(*folders_, path, out, headroom);
}

std::variant<OpenedPage, IoError> PageFiles::reread(const OpenedPage& page, PageBuffer& out) {
  const OpenedPage::State& s = page.state();
  return read_opened(s.folder, s.entry.name, open_entry(*s.folder, s.entry.name), s.path, out, 0);
}
std::variant<OpenedPage, IoError> PageFiles::reread(const OpenedPage& page, std::string& out,
                                                    std::size_t headroom) {
  const OpenedPage::State& s = page.state();
  return read_opened(s.folder, s.entry.name, open_entry(*s.folder, s.entry.name), s.path, out,
                     headroom);
}

std::optional<IoError> PageFiles::stage(OpenedPage& page,
                                        std::span<const std::string_view> pieces) {
  OpenedPage::State& s = page.state();
  const Folder& folder = *s.folder;
  const struct stat& info = s.read_info;
  const int at = folder.fd.get();
  if (folders_->cleaned.insert(identity_of(folder.info)).second) remove_leftovers(folder);

  // The rename that replaces the page would otherwise bypass the page's own permission. The
  // superuser may write anything, so for it a page whose mode grants no write bit to anyone
  // counts as deliberately read-only.
  if (folders_->user == 0 ? (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0
                          : ::faccessat(at, s.entry.name.c_str(), W_OK, AT_EACCESS) != 0)
    return error_from_errno(s.path, folders_->user == 0 ? EACCES : errno);

  const int fd = create_temporary(folder, s.temporary_name);
  if (fd < 0) return error_from_errno(s.path, -fd);
  s.temporary = Descriptor(fd);
  auto fail = [&](int code) {
    s.discard_temporary();
    return error_from_errno(s.path, code);
  };
  if (int code = posix::write_all(fd, pieces)) return fail(code);
  // Starts writing the content out now, while the next pages are prepared, so that the group's
  // flush mostly waits for what is already under way.
  ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
  if (info.st_uid != folders_->user || info.st_gid != folders_->group) {
    // Only the superuser may give the file away; others keep what the system allows.
    if (::fchown(fd, info.st_uid, info.st_gid) != 0 && folders_->user == 0) return fail(errno);
  }
  // After fchown, which clears file capabilities, and before fchmod, since a read-only mode
  // would forbid setting user attributes.
  if (std::optional<std::string> refusal = copy_attributes(s.page.get(), fd, folder.default_acl)) {
    s.discard_temporary();
    return IoError{s.path, *refusal};
  }
  // After fchown, which clears set-user-ID and set-group-ID bits.
  if (::fchmod(fd, info.st_mode & 07777) != 0) return fail(errno);
  for (std::string_view piece : pieces) s.staged += piece.size();
  folders_->staged.emplace(folder.info.st_dev, s.folder);
  return std::nullopt;
}

std::size_t PageFiles::staging_capacity() const {
  // Two descriptors a page, within the process's limit, leaving room for everything else (the
  // replaced pages waiting in the close pool, the folders, the program's own files).
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 512;
  const auto allowed = static_cast<std::size_t>(limit.rlim_cur);
  return std::clamp<std::size_t>(allowed > 256 ? (allowed - 256) / 2 : 1, 1, 512);
}

std::optional<IoError> PageFiles::make_durable() {
  std::optional<IoError> error;
  for (const auto& [device, folder] : folders_->staged)
    if (!error && ::syncfs(folder->fd.get()) != 0) error = error_from_errno(folder->path, errno);
  folders_->staged.clear();
  return error;
}

std::variant<CommitOutcome, IoError> PageFiles::commit(OpenedPage& page) {
  OpenedPage::State& s = page.state();
  fault_injection::run_before_replace(s.path);
  const int at = s.folder->fd.get();
  if (folders_->locked != s.folder) {
    folders_->unlock();
    if (int code = lock_folder(*s.folder)) {
      s.discard_temporary();
      return error_from_errno(s.path, code);
    }
    folders_->locked = s.folder;
  }
  struct stat now {};
  int code = 0;
  bool same = ::fstatat(at, s.entry.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
              unchanged(now, s.read_info);
  if (same && ::renameat(at, s.temporary_name.c_str(), at, s.entry.name.c_str()) != 0) code = errno;
  if (!same || code != 0) {
    folders_->unlock();
    s.discard_temporary();
    if (code != 0) return error_from_errno(s.path, code);
    return CommitOutcome::changed;
  }
  // The page read is the last hold on the replaced file, which was kept open so that the rename
  // need not release it; the release is left to the pool. The staged file, now the page, no
  // longer needs its lock either.
  folders_->closes.close(s.page.release());
  folders_->closes.close(s.temporary.release());
  s.staged = 0;
  folders_->written.emplace(s.folder->info.st_dev, s.folder);
  return CommitOutcome::replaced;
}

void PageFiles::end_commits() { folders_->unlock(); }

std::optional<IoError> PageFiles::sync_written() {
  folders_->unlock();
  folders_->closes.wait();
  std::optional<IoError> error;
  for (const auto& [device, folder] : folders_->written)
    if (!error && ::syncfs(folder->fd.get()) != 0) error = error_from_errno(folder->path, errno);
  folders_->written.clear();
  return error;
}

}  // namespace qv
