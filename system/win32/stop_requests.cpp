// Stop requests on Windows: the console's control events. Ctrl+C and Ctrl+Break ask to interrupt;
// closing the console window asks to hang up; logging off and shutting down ask to terminate.
#include "system/stop_requests.h"

#include <atomic>

#include <windows.h>

namespace qv {
namespace {

// The first request, as a StopRequest value; none while there was none. Set from the thread the
// system starts for each console event.
std::atomic<StopRequest> g_first{StopRequest::none};
static_assert(std::atomic<StopRequest>::is_always_lock_free);

StopRequest request_of(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      return StopRequest::interrupt;
    case CTRL_CLOSE_EVENT:
      return StopRequest::hang_up;
    default:
      return StopRequest::terminate;
  }
}

BOOL WINAPI on_console_event(DWORD event) {
  const StopRequest request = request_of(event);
  StopRequest none = StopRequest::none;
  if (!g_first.compare_exchange_strong(none, request))
    ::ExitProcess(static_cast<UINT>(stop_exit_status(request)));  // a second request
  // Interrupts are consumed: the run stops after the page in hand. For the other events the
  // system ends the process as soon as this handler returns, so it never does: the run has the
  // few seconds the system grants to finish its page and report.
  if (request != StopRequest::interrupt) ::Sleep(INFINITE);
  return TRUE;
}

}  // namespace

void watch_stop_requests() { ::SetConsoleCtrlHandler(on_console_event, TRUE); }

StopRequest stop_request() { return g_first.load(std::memory_order_relaxed); }

void forget_stop_request() { g_first.store(StopRequest::none); }

std::string_view stop_request_name(StopRequest request) {
  switch (request) {
    case StopRequest::interrupt:
      return "Ctrl+C";
    case StopRequest::terminate:
      return "the end of the session";
    case StopRequest::hang_up:
      return "the console's closing";
    case StopRequest::none:
      break;
  }
  return "";
}

// Console stop events reach a thread of their own, never the pool's.
void start_threads_deaf_to_stops(const std::function<void()>& start) { start(); }

}  // namespace qv
