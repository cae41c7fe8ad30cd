#include "system/terminal.h"

#include <unistd.h>

namespace qv {

bool is_terminal(std::FILE* stream) {
  const int fd = ::fileno(stream);
  return fd >= 0 && ::isatty(fd) == 1;
}

void keep_line_breaks(std::FILE* /*stream*/) {}

}  // namespace qv
