#include "tests/support/unprivileged.h"

#include <filesystem>
#include <string>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qv::testing {

int run_unprivileged(const std::function<int()>& body, unsigned also_in_group) {
  pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) {
    if (::geteuid() == 0) {
      constexpr gid_t kNobodyGroup = 65534;
      constexpr uid_t kNobody = 65534;
      const gid_t group = also_in_group;
      if (::setgroups(also_in_group != 0 ? 1 : 0, &group) != 0 || ::setgid(kNobodyGroup) != 0 ||
          ::setuid(kNobody) != 0)
        ::_exit(125);
    }
    ::_exit(body());
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

void open_to_everyone(const std::string& path) {
  std::filesystem::permissions(path, std::filesystem::perms::all);
}

}  // namespace qv::testing
