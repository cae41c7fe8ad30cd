// Who this run is, as the temporary files of page rewrites record their maker, and whether a
// maker of this machine still runs.
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>

#include <signal.h>
#include <unistd.h>

#include "system/page_io.h"

namespace qv::sys {

TemporaryOwner this_run() {
  static const std::string machine = [] {
    // The host (a digest of its machine id) and its current boot (the start of the boot id).
    auto first_line = [](const char* file) {
      std::string line;
      std::ifstream(file) >> line;
      return line;
    };
    std::uint32_t host = 2166136261u;
    for (char c : first_line("/etc/machine-id"))
      host = (host ^ static_cast<unsigned char>(c)) * 16777619u;
    std::string boot;
    for (char c : first_line("/proc/sys/kernel/random/boot_id"))
      if (boot.size() < 8 && std::isxdigit(static_cast<unsigned char>(c)))
        boot += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    boot.resize(8, '0');
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x", host);
    return digits + boot;
  }();
  return {machine, static_cast<std::uint64_t>(::getpid()),
          static_cast<std::int64_t>(::time(nullptr))};
}

bool process_alive(std::uint64_t process) {
  if (process == 0 || process > static_cast<std::uint64_t>(INT32_MAX)) return false;
  return ::kill(static_cast<pid_t>(process), 0) == 0 || errno == EPERM;
}

}  // namespace qv::sys
