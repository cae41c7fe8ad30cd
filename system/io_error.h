#pragma once

#include <string>

namespace qv {

// A file operation that failed: the path it was about and the system's reason, in words.
struct IoError {
  std::string path;
  std::string reason;
  bool no_room = false;  // the disk or the user's quota is full (retrying with less may succeed)
};

}  // namespace qv
