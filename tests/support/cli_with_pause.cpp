// The command-line program with one addition for tests: it stops itself (SIGSTOP) while the page
// numbered by its first argument (from 1) is in hand, read but not yet written, so that a test can
// signal it at that exact point and then let it go on. The other arguments are the program's.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "batch/page_batch.h"
#include "cli/program.h"
#include "system/stop_requests.h"

namespace {

// Stops the process while the page numbered `pause_at` (from 1) is in hand.
class PauseAtPage : public qv::BatchObserver {
 public:
  explicit PauseAtPage(std::size_t pause_at) : pause_at_(pause_at) {}
  void page_in_hand(std::size_t index) override {
    if (index + 1 == pause_at_) std::raise(SIGSTOP);
  }

 private:
  std::size_t pause_at_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 125;
  PauseAtPage pause(std::stoul(argv[1]));
  qv::watch_stop_requests();
  const std::vector<std::string> arguments(argv + 2, argv + argc);
  return qv::cli::program_main(arguments, stdout, stderr, &pause);
}
