#pragma once

// Helpers shared by the POSIX sources of the file layer (not part of its interface).
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <sys/stat.h>
#include <unistd.h>

#include "system/file_io.h"

namespace qv {

class PageBuffer;

namespace posix {

// Closes a descriptor when it leaves scope, unless released.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }
  ~Descriptor() { reset(); }
  int get() const { return fd_; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  // Gives up the descriptor without closing it.
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes now and reports the result: a delayed write error can surface only here.
  int close() {
    int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

IoError error_from_errno(const std::string& path, int code);

// The reason given for a file that is neither a regular file nor a folder.
std::string not_regular_reason(mode_t mode);

// Reads the open regular file `fd` (described by `info`) whole into `out`; an errno value or 0.
int read_all(int fd, const struct stat& info, std::string& out);
int read_all(int fd, const struct stat& info, PageBuffer& out);

// Writes every piece in order, gathered; an errno value or 0.
int write_all(int fd, std::span<const std::string_view> pieces);

// Checks that `info` describes a regular file; the error naming `path` otherwise.
std::optional<IoError> regular_file_error(const std::string& path, const struct stat& info);

}  // namespace posix
}  // namespace qv
