#include "window/program_end.h"

#include <cstdio>
#include <cstdlib>

#include "system/stop_requests.h"

namespace qv {

void end_program_now() {
  // Pages are replaced atomically and synced by the run; nothing else is pending. A window ended
  // by a stop request tells its caller so, as the command line does: the run may have been cut
  // short, and a script must not take it for a completed one.
  std::fflush(nullptr);
  std::_Exit(stop_exit_status(stop_request()));
}

}  // namespace qv
