#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace qv {

class PageBuffer;

// A file operation that failed: the path it was about and the system's reason, in words.
struct IoError {
  std::string path;
  std::string reason;
};

// Reads the whole file at `path`, byte for byte, into `out` (replacing what it held). Only a
// regular file is read: a folder, a named pipe or a device (also behind a link) is refused at once.
[[nodiscard]] std::optional<IoError> read_file(const std::string& path, std::string& out);

// Same, into a buffer that starts on a memory-page boundary (the faster read for pages).
[[nodiscard]] std::optional<IoError> read_file(const std::string& path, PageBuffer& out);

// Asks the system to put everything written to the file systems that hold `folders` on stable
// storage (once for each file system), and waits for it.
[[nodiscard]] std::optional<IoError> sync_file_systems(std::span<const std::string> folders);

// What a path names, its final link followed.
enum class FileKind { missing, regular, folder, other };

// What `path` names (a final link followed): missing when nothing stands there; the system's
// reason when it cannot be looked at.
[[nodiscard]] std::variant<FileKind, IoError> file_kind(const std::string& path);

// The folder that holds the running executable, ending in a separator: its real folder, links
// resolved, so a program started through a link in /usr/bin finds the files installed beside it.
std::string application_folder();

// The process's current folder; the root folder when it cannot be found.
std::string current_folder();

// True when `name` is one of the temporary files that page rewrites create (and that a killed run
// may leave behind): a hidden name of fixed length, whatever the page's name.
bool is_temporary_name(std::string_view name);

}  // namespace qv
