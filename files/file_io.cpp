// POSIX implementation of the file layer. This file and the folder listing are the only domain
// sources that include operating-system headers.
#include "files/file_io.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sys/stat.h>
#include <sys/uio.h>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "files/fault_injection.h"
#include "files/page_buffer.h"
#include "files/path.h"

namespace qv {
namespace {

constexpr std::string_view kTemporaryMark = ".qv-tmp-";

IoError error_from_errno(const std::string& path, int code) {
  return IoError{path, std::strerror(code)};
}

// Closes a descriptor when it leaves scope, unless released.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Closes now and reports the result: a delayed write error can surface only here.
  int close() {
    int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

// Writes every piece in order, gathered into as few system calls as possible, resuming after
// partial writes and interruptions. An armed fault counts each non-empty piece as one write: the
// pieces before the failing one still reach the file, as they would one write at a time.
int write_all(int fd, std::span<const std::string_view> pieces) {
  int injected = 0;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (pieces[i].empty()) continue;
    if ((injected = fault_injection::take_write_failure()) != 0) {
      pieces = pieces.first(i);
      break;
    }
  }
  constexpr std::size_t kBatch = 64;  // well under any system's IOV_MAX
  std::size_t next = 0;               // first piece not yet wholly written
  std::size_t offset = 0;             // bytes of pieces[next] already written
  while (next < pieces.size()) {
    iovec vectors[kBatch];
    int count = 0;
    for (std::size_t i = next; i < pieces.size() && count < static_cast<int>(kBatch); ++i) {
      const std::string_view piece = i == next ? pieces[i].substr(offset) : pieces[i];
      vectors[count++] = iovec{const_cast<char*>(piece.data()), piece.size()};
    }
    ssize_t written = ::writev(fd, vectors, count);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    auto left = static_cast<std::size_t>(written);
    while (next < pieces.size() && left >= pieces[next].size() - offset) {
      left -= pieces[next].size() - offset;
      offset = 0;
      ++next;
    }
    offset += left;
  }
  return injected;
}

// The file a path finally names, symbolic links resolved; the path itself when it names no link.
std::optional<std::string> resolve_links(const std::string& path, int& code) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) {
    code = errno;
    return std::nullopt;
  }
  std::string target(resolved);
  std::free(resolved);
  return target;
}

// Whether this process may write the file: the rename that replaces it would otherwise bypass
// the file's own permission. The superuser may write anything, so for it a file whose mode
// grants no write bit to anyone counts as deliberately read-only.
bool may_write(const std::string& target, const struct stat& info, uid_t effective_user) {
  if (effective_user == 0) return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
  return ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0;
}

// Reads the whole file into `out`, a std::string or a PageBuffer.
template <typename Buffer>
std::optional<IoError> read_whole(const std::string& path, Buffer& out) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    out.clear();
    return error_from_errno(path, errno);
  }
  Descriptor file(fd);

  struct stat info {};
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    const int code = S_ISDIR(info.st_mode) ? EISDIR : errno;
    out.clear();
    return error_from_errno(path, code);
  }
  if (S_ISREG(info.st_mode) && info.st_size > 0) {
    // Size once, then read straight into the buffer; a file that grows meanwhile is still read
    // to its end below. A std::string keeps its old bytes until they are read over, so that a
    // buffer used for page after page is not first filled with zeros each time.
    out.resize(static_cast<std::size_t>(info.st_size));
    std::size_t filled = 0;
    while (filled < out.size()) {
      ssize_t got = ::read(fd, out.data() + filled, out.size() - filled);
      if (got < 0) {
        if (errno == EINTR) continue;
        int code = errno;
        out.clear();
        return error_from_errno(path, code);
      }
      if (got == 0) break;
      filled += static_cast<std::size_t>(got);
    }
    out.resize(filled);
  } else {
    out.clear();
  }
  char chunk[65536];
  for (;;) {
    ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      int code = errno;
      out.clear();
      return error_from_errno(path, code);
    }
    if (got == 0) break;
    out.append(chunk, static_cast<std::size_t>(got));
  }
  return std::nullopt;
}

}  // namespace

std::optional<IoError> read_file(const std::string& path, std::string& out) {
  return read_whole(path, out);
}

std::optional<IoError> read_file(const std::string& path, PageBuffer& out) {
  return read_whole(path, out);
}

std::optional<IoError> replace_file(const std::string& path,
                                    std::span<const std::string_view> pieces) {
  // Only a symbolic link needs resolving (the rename must replace the file it leads to, not the
  // link); any other path is used as given, sparing a lookup of every folder on the way.
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return error_from_errno(path, errno);
  std::string target = path;
  if (S_ISLNK(info.st_mode)) {
    int code = 0;
    std::optional<std::string> resolved = resolve_links(path, code);
    if (!resolved) return error_from_errno(path, code);
    target = std::move(*resolved);
    if (::stat(target.c_str(), &info) != 0) return error_from_errno(path, errno);
  }
  if (!S_ISREG(info.st_mode))
    return error_from_errno(path, S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
  const uid_t effective_user = ::geteuid();
  if (!may_write(target, info, effective_user)) return error_from_errno(path, EACCES);

  std::size_t slash = target.rfind('/');
  std::string folder = target.substr(0, slash + 1);
  std::string name = target.substr(slash + 1);
  std::string temporary = folder + "." + name + std::string(kTemporaryMark) + "XXXXXX";
  int fd = ::mkostemp(temporary.data(), O_CLOEXEC);  // exclusive creation, mode 0600
  if (fd < 0) return error_from_errno(path, errno);
  Descriptor file(fd);

  auto fail = [&](int failure) {
    if (file.get() >= 0) file.close();
    ::unlink(temporary.c_str());
    return error_from_errno(path, failure);
  };

  if (int failure = write_all(fd, pieces)) return fail(failure);
  if (info.st_uid != effective_user || info.st_gid != ::getegid()) {
    // Only the superuser may give the file away; others keep what the system allows.
    if (::fchown(fd, info.st_uid, info.st_gid) != 0 && effective_user == 0) return fail(errno);
  }
  // After fchown, which clears set-user-ID and set-group-ID bits.
  if (::fchmod(fd, info.st_mode & 07777) != 0) return fail(errno);
  if (file.close() != 0) return fail(errno);
  if (::rename(temporary.c_str(), target.c_str()) != 0) return fail(errno);
  return std::nullopt;
}

std::optional<IoError> replace_file(const std::string& path, std::string_view content) {
  return replace_file(path, std::span<const std::string_view>(&content, 1));
}

std::optional<std::string> resolved_path(const std::string& path) {
  int ignored = 0;
  return resolve_links(path, ignored);
}

std::optional<std::string> PathResolver::resolve(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string_view name = std::string_view(path).substr(slash + 1);
  struct stat info {};
  if (name.empty() || name == "." || name == ".." || ::lstat(path.c_str(), &info) != 0 ||
      S_ISLNK(info.st_mode))
    return resolved_path(path);
  // An entry that is no link resolves to its folder's resolution followed by its name.
  const std::string folder = slash == std::string::npos ? std::string(".")
                             : slash == 0               ? std::string("/")
                                                        : path.substr(0, slash);
  if (!folder_ || folder != folder_->first) {
    std::optional<std::string> resolved = resolved_path(folder);
    if (!resolved) return std::nullopt;
    folder_.emplace(folder, with_trailing_separator(*resolved));
  }
  return folder_->second + std::string(name);
}

std::optional<IoError> sync_file_systems(std::span<const std::string> folders) {
  std::set<dev_t> synced;
  for (const std::string& folder : folders) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return error_from_errno(folder, errno);
    Descriptor handle(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0) return error_from_errno(folder, errno);
    if (!synced.insert(info.st_dev).second) continue;
    if (::syncfs(fd) != 0) return error_from_errno(folder, errno);
  }
  return std::nullopt;
}

std::string application_folder() {
  std::vector<char> buffer(PATH_MAX + 1);
  ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return with_trailing_separator(".");
  std::string executable(buffer.data(), static_cast<std::size_t>(length));
  return executable.substr(0, executable.rfind('/') + 1);
}

bool is_temporary_name(std::string_view name) {
  std::size_t mark = name.rfind(kTemporaryMark);
  return !name.empty() && name.front() == '.' && mark != std::string_view::npos &&
         name.size() == mark + kTemporaryMark.size() + 6;
}

}  // namespace qv
