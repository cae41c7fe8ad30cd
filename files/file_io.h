#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace qv {

class PageBuffer;

// A file operation that failed: the path it was about and the system's reason, in words.
struct IoError {
  std::string path;
  std::string reason;
};

// Reads the whole file at `path`, byte for byte, into `out` (replacing what it held).
[[nodiscard]] std::optional<IoError> read_file(const std::string& path, std::string& out);

// Same, into a buffer that starts on a memory-page boundary (the faster read for pages).
[[nodiscard]] std::optional<IoError> read_file(const std::string& path, PageBuffer& out);

// Replaces the content of the file at `path` with the concatenation of `pieces`, atomically: the
// bytes go to a hidden temporary file in the same folder, which is then renamed over the file, so
// the file is at every instant either wholly old or wholly new. A symbolic link is followed and
// stays a link; the file's permission bits (and owner and group, where allowed) are kept. A file
// its user may not write is refused, even in a writable folder. On failure nothing is left behind.
[[nodiscard]] std::optional<IoError> replace_file(const std::string& path,
                                                  std::span<const std::string_view> pieces);

// Same, for one piece of content.
[[nodiscard]] std::optional<IoError> replace_file(const std::string& path,
                                                  std::string_view content);

// The absolute path of the file that `path` finally names, symbolic links and "." and ".."
// resolved, so that two paths to the same directory entry give the same answer (two hard links do
// not); none when it does not exist.
std::optional<std::string> resolved_path(const std::string& path);

// Gives the same answers as resolved_path for many paths, remembering the last folder it resolved
// so that a run of paths in one folder costs one lookup each. A folder changed into another place
// (a link redirected) while a resolver is in use goes unnoticed: keep one for a single batch.
class PathResolver {
 public:
  std::optional<std::string> resolve(const std::string& path);

 private:
  std::optional<std::pair<std::string, std::string>> folder_;  // as given, and resolved
};

// Asks the system to put everything written to the file systems that hold `folders` on stable
// storage (once for each file system), and waits for it.
[[nodiscard]] std::optional<IoError> sync_file_systems(std::span<const std::string> folders);

// The folder that holds the running executable, ending in a separator: its real folder, links
// resolved, so a program started through a link in /usr/bin finds the files installed beside it.
std::string application_folder();

// True when `name` is one of the temporary files that replace_file creates (and may leave behind
// when the process is killed between creating and renaming it).
bool is_temporary_name(std::string_view name);

}  // namespace qv
