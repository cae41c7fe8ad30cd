// POSIX implementation of the file layer's whole-file reads and the helpers its other POSIX
// sources share. Only the sources of this folder include operating-system headers.
#include "system/file_io.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include "system/linux/posix_io.h"
#include "system/page_buffer.h"
#include "text/path.h"

namespace qv {
namespace posix {
namespace {

template <typename Buffer>
int read_into(int fd, const struct stat& info, Buffer& out) {
  if (info.st_size > 0) {
    // Size once, then read straight into the buffer, asking for one byte more than the size: a
    // read that stops short at exactly the size has met the end, and needs no second read to
    // see it. A file that grows meanwhile is still read to its end below. A std::string keeps
    // its old bytes until they are read over, so that a buffer used for page after page is not
    // first filled with zeros each time.
    const auto size = static_cast<std::size_t>(info.st_size);
    out.resize(size + 1);
    std::size_t filled = 0;
    bool at_end = false;
    while (filled < out.size()) {
      ssize_t got = ::read(fd, out.data() + filled, out.size() - filled);
      if (got < 0) {
        if (errno == EINTR) continue;
        const int code = errno;
        out.clear();
        return code;
      }
      if (got == 0) {
        at_end = true;
        break;
      }
      filled += static_cast<std::size_t>(got);
      if (filled == size) {
        at_end = true;
        break;
      }
    }
    out.resize(filled);
    if (at_end) return 0;
  } else {
    out.clear();
  }
  char chunk[65536];
  for (;;) {
    ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      const int code = errno;
      out.clear();
      return code;
    }
    if (got == 0) break;
    out.append(chunk, static_cast<std::size_t>(got));
  }
  return 0;
}

}  // namespace

IoError error_from_errno(const std::string& path, int code) {
  return IoError{path, std::strerror(code), code == ENOSPC || code == EDQUOT};
}

std::string not_regular_reason(mode_t mode) {
  const char* kind = S_ISFIFO(mode)                   ? " (a named pipe)"
                     : S_ISCHR(mode) || S_ISBLK(mode) ? " (a device)"
                     : S_ISSOCK(mode)                 ? " (a socket)"
                                                      : "";
  return std::string("Not a regular file") + kind;
}

std::optional<IoError> regular_file_error(const std::string& path, const struct stat& info) {
  if (S_ISREG(info.st_mode)) return std::nullopt;
  if (S_ISDIR(info.st_mode)) return error_from_errno(path, EISDIR);
  return IoError{path, not_regular_reason(info.st_mode)};
}

int read_all(int fd, const struct stat& info, std::string& out) { return read_into(fd, info, out); }
int read_all(int fd, const struct stat& info, PageBuffer& out) { return read_into(fd, info, out); }

int write_all(int fd, std::span<const std::string_view> pieces) {
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
  return 0;
}

}  // namespace posix

using posix::error_from_errno;

namespace {

// Reads the whole regular file at `path` into `out`. The file is opened without blocking, so that
// a named pipe or a device is refused at once instead of waited on or read forever.
template <typename Buffer>
std::optional<IoError> read_whole(const std::string& path, Buffer& out) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    out.clear();
    return error_from_errno(path, errno);
  }
  posix::Descriptor file(fd);
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    out.clear();
    return error_from_errno(path, errno);
  }
  if (std::optional<IoError> error = posix::regular_file_error(path, info)) {
    out.clear();
    return error;
  }
  if (int code = posix::read_all(fd, info, out)) return error_from_errno(path, code);
  return std::nullopt;
}

}  // namespace

std::optional<IoError> read_file(const std::string& path, std::string& out) {
  return read_whole(path, out);
}

std::optional<IoError> read_file(const std::string& path, PageBuffer& out) {
  return read_whole(path, out);
}

std::string application_folder() {
  std::vector<char> buffer(PATH_MAX + 1);
  ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return with_trailing_separator(".");
  std::string executable(buffer.data(), static_cast<std::size_t>(length));
  return executable.substr(0, name_start(executable));
}

std::variant<FileKind, IoError> file_kind(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return FileKind::missing;
    return IoError{path, std::strerror(errno)};
  }
  if (S_ISREG(info.st_mode)) return FileKind::regular;
  return S_ISDIR(info.st_mode) ? FileKind::folder : FileKind::other;
}

std::string current_folder() {
  std::vector<char> buffer(PATH_MAX + 1);
  if (::getcwd(buffer.data(), buffer.size()) == nullptr) return std::string(1, kFolderSeparator);
  return buffer.data();
}

std::string full_path(std::string_view path) {
  std::error_code error;
  std::filesystem::path full = std::filesystem::absolute(path, error);
  return error ? std::string(path) : full.string();
}

}  // namespace qv
