#pragma once

#include <functional>
#include <string_view>

namespace qv {

// A request from outside to end the program: an interrupt from the terminal, a termination asked
// by the system or another process, or the loss of the terminal.
enum class StopRequest { none, interrupt, terminate, hang_up };

// From now on, records the first stop request the process receives instead of letting it end the
// process, so that a run can finish the page in hand and report; a second request ends the
// process at once. Also makes writes to a closed output fail with an error rather than end the
// process. Call once, early, from the program's entry point.
void watch_stop_requests();

// The first stop request received since watch_stop_requests, or none. Safe to call often.
StopRequest stop_request();

// Forgets a recorded request, so that the next one is again the first (tests).
void forget_stop_request();

// The exit status that tells the caller the program ended on `request` (0 for none).
int stop_exit_status(StopRequest request);

// The request as the system names it, for messages ("SIGINT").
std::string_view stop_request_name(StopRequest request);

// Runs `start`, which starts threads, so that stop requests never reach those threads: they keep
// reaching the thread that watches for them.
void start_threads_deaf_to_stops(const std::function<void()>& start);

}  // namespace qv
