#pragma once

#include <string>
#include <vector>

namespace qv::testing {

// What a finished program left behind.
struct ProgramOutput {
  int exit_code = -1;  // -1 when it did not exit normally (or could not be started)
  std::string out;
  std::string err;
};

// Runs `program` with `arguments` in `working_folder`, waits for it, and returns its exit code
// and everything it wrote on standard output and standard error.
ProgramOutput run_program(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& working_folder);

}  // namespace qv::testing
