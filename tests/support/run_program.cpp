#include "tests/support/run_program.h"

#include <cstdio>
#include <memory>
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

}  // namespace

ProgramOutput run_program(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& working_folder) {
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
    if (::chdir(working_folder.c_str()) == 0 && ::dup2(::fileno(out.get()), 1) >= 0 &&
        ::dup2(::fileno(err.get()), 2) >= 0)
      ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  ProgramOutput result;
  if (::waitpid(child, &status, 0) == child && WIFEXITED(status))
    result.exit_code = WEXITSTATUS(status);
  result.out = contents(out.get());
  result.err = contents(err.get());
  return result;
}

}  // namespace qv::testing
