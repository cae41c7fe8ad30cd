// Stop requests on POSIX systems: SIGINT, SIGTERM and SIGHUP.
#include "system/stop_requests.h"

#include <atomic>
#include <csignal>

#include <pthread.h>

namespace qv {
namespace {

// The signal number of the first request, 0 while none. Lock-free, so the handler may set it.
std::atomic<int> g_first_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);

constexpr int kWatched[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void on_stop_signal(int signal_number) {
  int none = 0;
  if (g_first_signal.compare_exchange_strong(none, signal_number)) return;
  // A second request: end as the signal's default action would, at once.
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

}  // namespace

void watch_stop_requests() {
  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // reads and writes in progress go on rather than fail
  for (int signal_number : kWatched) ::sigaction(signal_number, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

StopRequest stop_request() {
  switch (g_first_signal.load(std::memory_order_relaxed)) {
    case SIGINT:
      return StopRequest::interrupt;
    case SIGTERM:
      return StopRequest::terminate;
    case SIGHUP:
      return StopRequest::hang_up;
    default:
      return StopRequest::none;
  }
}

void forget_stop_request() { g_first_signal.store(0); }

std::string_view stop_request_name(StopRequest request) {
  switch (request) {
    case StopRequest::interrupt:
      return "SIGINT";
    case StopRequest::terminate:
      return "SIGTERM";
    case StopRequest::hang_up:
      return "SIGHUP";
    case StopRequest::none:
      break;
  }
  return "";
}

void start_threads_deaf_to_stops(const std::function<void()>& start) {
  sigset_t all, previous;
  sigfillset(&all);
  ::pthread_sigmask(SIG_SETMASK, &all, &previous);
  start();
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

}  // namespace qv
