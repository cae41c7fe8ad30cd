#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qv::testing {

// What a finished program left behind.
struct ProgramOutput {
  int exit_code = -1;  // -1 when it did not exit normally (or could not be started)
  int signal = 0;      // the signal that ended it, if one did
  std::string out;
  std::string err;
};

// Where the program's standard output goes: captured, or a pipe nobody reads any more, or a
// device that is always full.
enum class Output { captured, closed_pipe, full_device };

// Runs `program` with `arguments` in `working_folder`, waits for it, and returns its exit code
// and everything it wrote on standard output and standard error. On Windows the outputs are
// given with LF line ends and '/' separators, as on POSIX systems, so that tests compare one text.
// `while_running`, when given, is called with the child's process id before the wait, to act on it
// (stop, signal, continue).
ProgramOutput run_program(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& working_folder, Output output = Output::captured,
                          const std::function<void(int)>& while_running = {});

// What the system says, as the programs print it, of a file that does not exist and of an access
// it refuses ("No such file or directory" and "Permission denied" on POSIX systems).
std::string missing_file_reason();
std::string access_denied_reason();

}  // namespace qv::testing
