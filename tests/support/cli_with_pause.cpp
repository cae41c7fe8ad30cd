// The command-line program with one addition for tests: it stops itself (SIGSTOP) while the page
// numbered by its first argument (from 1) is in hand, read but not yet written, so that a test can
// signal it at that exact point and then let it go on. The other arguments are the program's.
// QV_PAUSE_SETTLE_MS, when set, is how long it waits with that page in hand before it stops: where
// pages are kept in flight, the ones before it get their temporary files meanwhile.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "batch/page_batch.h"
#include "cli/program.h"
#include "system/stop_requests.h"

namespace {

// Stops the process while the page numbered `pause_at` (from 1) is in hand.
class PauseAtPage : public qv::BatchObserver {
 public:
  PauseAtPage(std::size_t pause_at, int settle_ms) : pause_at_(pause_at), settle_ms_(settle_ms) {}
  void page_in_hand(std::size_t index) override {
    if (index + 1 != pause_at_) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(settle_ms_));
    std::raise(SIGSTOP);
  }

 private:
  std::size_t pause_at_;
  int settle_ms_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 125;
  const char* settle = std::getenv("QV_PAUSE_SETTLE_MS");
  PauseAtPage pause(std::stoul(argv[1]), settle != nullptr ? std::atoi(settle) : 0);
  qv::watch_stop_requests();
  const std::vector<std::string> arguments(argv + 2, argv + argc);
  return qv::cli::program_main(arguments, stdout, stderr, &pause);
}
