// The command-line program with one addition for tests: it stops itself (SIGSTOP) while the page
// numbered by its first argument (from 1) is in hand, read but not yet written, so that a test can
// signal it at that exact point and then let it go on. The other arguments are the program's.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/program.h"
#include "cli/test_hooks.h"
#include "system/stop_requests.h"

namespace {
std::size_t g_pause_at = 0;
}

int main(int argc, char** argv) {
  if (argc < 2) return 125;
  g_pause_at = std::stoul(argv[1]);
  qv::cli::test_hooks::page_in_hand = [](std::size_t index) {
    if (index + 1 == g_pause_at) std::raise(SIGSTOP);
  };
  qv::watch_stop_requests();
  const std::vector<std::string> arguments(argv + 2, argv + argc);
  return qv::cli::program_main(arguments, stdout, stderr);
}
