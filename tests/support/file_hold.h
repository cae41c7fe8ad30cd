#pragma once

#include <string>

namespace qv::testing {

// Keeps a file open the way an editor or a viewer may on Windows: reading it and letting others
// only read it (no writing, renaming or deleting) until destroyed. Windows only.
class FileHold {
 public:
  explicit FileHold(const std::string& path);
  FileHold(const FileHold&) = delete;
  FileHold& operator=(const FileHold&) = delete;
  ~FileHold();
  bool held() const;

 private:
  void* handle_;
};

}  // namespace qv::testing
