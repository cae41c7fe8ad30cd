#include "system/stop_requests.h"

namespace qv {

int stop_exit_status(StopRequest request) {
  // The shell's convention, 128 plus the number of the matching POSIX signal (SIGINT 2, SIGTERM
  // 15, SIGHUP 1), on every system, so that scripts test one set of values.
  switch (request) {
    case StopRequest::interrupt:
      return 130;
    case StopRequest::terminate:
      return 143;
    case StopRequest::hang_up:
      return 129;
    case StopRequest::none:
      break;
  }
  return 0;
}

}  // namespace qv
