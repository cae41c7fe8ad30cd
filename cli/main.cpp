#include <cstdio>

#include "cli/program.h"
#include "system/command_line.h"
#include "system/stop_requests.h"

int main(int argc, char** argv) {
  qv::watch_stop_requests();
  return qv::cli::program_main(qv::program_arguments(argc, argv), stdout, stderr);
}
