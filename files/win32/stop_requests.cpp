// Stop requests on Windows. Console control events (Ctrl+C, Ctrl+Break, closing the console) are
// not watched yet: they end the program as the system's default handler does, and no request is
// ever recorded.
#include "files/stop_requests.h"

namespace qv {

void watch_stop_requests() {}

StopRequest stop_request() { return StopRequest::none; }

void forget_stop_request() {}

int stop_exit_status(StopRequest) { return 0; }

std::string_view stop_request_name(StopRequest) { return ""; }

}  // namespace qv
