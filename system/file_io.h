#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "system/io_error.h"

namespace qv {

class PageBuffer;

// Reads the whole file at `path`, byte for byte, into `out` (replacing what it held). Only a
// regular file is read: a folder, a named pipe or a device (also behind a link) is refused at once.
[[nodiscard]] std::optional<IoError> read_file(const std::string& path, std::string& out);

// Same, into a buffer that starts on a memory-page boundary (the faster read for pages).
[[nodiscard]] std::optional<IoError> read_file(const std::string& path, PageBuffer& out);

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

// `path` made absolute by the system's rules (on Windows each drive's own current folder counts),
// without looking at what it names; `path` itself when the system cannot.
std::string full_path(std::string_view path);

}  // namespace qv
