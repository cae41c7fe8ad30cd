#include "tests/support/run_program.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qv::testing {
namespace {

using File = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

std::string contents(std::FILE* file) {
  std::string text;
  std::rewind(file);
  char chunk[4096];
  while (std::size_t got = std::fread(chunk, 1, sizeof chunk, file)) text.append(chunk, got);
  return text;
}

// The descriptor the child's standard output goes to (called in the child).
int output_descriptor(Output output, std::FILE* captured) {
  switch (output) {
    case Output::captured:
      break;
    case Output::closed_pipe: {
      int ends[2];
      if (::pipe(ends) != 0) return -1;
      ::close(ends[0]);
      return ends[1];
    }
    case Output::full_device:
      return ::open("/dev/full", O_WRONLY);
  }
  return ::fileno(captured);
}

}  // namespace

ProgramOutput run_program(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& working_folder, Output output,
                          const std::function<void(int)>& while_running) {
  // Unnamed temporary files rather than pipes: a program that writes much on both streams
  // cannot block while the test waits for it.
  File out(std::tmpfile(), &std::fclose), err(std::tmpfile(), &std::fclose);
  if (!out || !err) return {};
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child < 0) return {};
  if (child == 0) {
    if (::chdir(working_folder.c_str()) == 0 &&
        ::dup2(output_descriptor(output, out.get()), 1) >= 0 && ::dup2(::fileno(err.get()), 2) >= 0)
      ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  if (while_running) while_running(child);
  int status = 0;
  ProgramOutput result;
  if (::waitpid(child, &status, 0) == child) {
    if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  }
  result.out = contents(out.get());
  result.err = contents(err.get());
  return result;
}

std::string missing_file_reason() { return std::strerror(ENOENT); }
std::string access_denied_reason() { return std::strerror(EACCES); }

}  // namespace qv::testing
