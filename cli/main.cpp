#include <cstdio>
#include <string>
#include <vector>

#include "cli/program.h"
#include "files/stop_requests.h"

int main(int argc, char** argv) {
  qv::watch_stop_requests();
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return qv::cli::program_main(arguments, stdout, stderr);
}
