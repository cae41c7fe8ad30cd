#include "system/terminal.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace qv {

bool is_terminal(std::FILE* stream) {
  // A console handle answers GetConsoleMode; a file, a pipe or the NUL device does not.
  const int fd = ::_fileno(stream);
  if (fd < 0) return false;
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0;
}

void keep_line_breaks(std::FILE* stream) {
  std::fflush(stream);
  const int fd = ::_fileno(stream);
  if (fd >= 0) ::_setmode(fd, _O_BINARY);
}

}  // namespace qv
