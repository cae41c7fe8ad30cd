#pragma once

#include <string>
#include <string_view>

namespace qv::testing {

// A fresh folder under the system's temporary folder, removed when the test passes and kept
// (its path printed) when it fails, so the evidence can be looked at.
class TempFolder {
 public:
  TempFolder();
  // The same, under `parent` instead (another file system, say).
  explicit TempFolder(const std::string& parent);
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder();

  // The folder's path, with forward slashes and without a trailing separator.
  const std::string& path() const { return path_; }
  // The path of `name` inside the folder.
  std::string operator/(std::string_view name) const;
  // Writes `content` to `name` inside the folder, creating or truncating it; returns its path.
  std::string write(std::string_view name, std::string_view content) const;
  // The exact bytes of `name` inside the folder (or of an absolute path).
  std::string read(std::string_view name) const;

 private:
  std::string path_;
};

// Makes `link` a symbolic link to `target` (a folder link when `to_folder`); false where the system
// cannot (Wine, Windows without the right), for the test to skip.
bool try_symlink(const std::string& target, const std::string& link, bool to_folder = false);

}  // namespace qv::testing
