#pragma once

// The operating-system steps of a page rewrite, one implementation per platform (system/linux,
// system/win32). The order of the steps, and every choice between them, is files/PageFiles'.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "system/io_error.h"
#include "text/temporary_name.h"

namespace qv {

class PageBuffer;

// Names one file on the machine, whatever path leads to it: its volume and its number there.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  friend auto operator<=>(const FileIdentity&, const FileIdentity&) = default;
};

namespace sys {

// A file descriptor (POSIX) or handle (Win32); -1 for none.
using NativeFile = std::intptr_t;
inline constexpr NativeFile kNoFile = -1;

// Closes `file`; false when the system reported an error on closing (a write that failed late).
bool close_file(NativeFile file);

// An open file, closed when it leaves scope unless released or closed before.
class File {
 public:
  File() = default;
  explicit File(NativeFile file) : file_(file) {}
  File(File&& other) noexcept : file_(other.release()) {}
  File& operator=(File&& other) noexcept {
    if (this != &other) {
      reset();
      file_ = other.release();
    }
    return *this;
  }
  ~File() { reset(); }
  NativeFile get() const { return file_; }
  bool valid() const { return file_ != kNoFile; }
  // Gives up the file without closing it.
  NativeFile release() {
    const NativeFile file = file_;
    file_ = kNoFile;
    return file;
  }
  void reset() { close(); }
  // Closes now and reports the result: a delayed write error can surface only here.
  bool close() { return valid() ? close_file(release()) : true; }

 private:
  NativeFile file_ = kNoFile;
};

// What the system says of a file, as far as a rewrite needs it.
struct FileStatus {
  FileIdentity identity;
  std::uint64_t size = 0;
  std::int64_t modified_ns = 0;  // last content change
  std::int64_t changed_ns = 0;   // last change of content or metadata (0 where unknown)
  std::uint32_t mode = 0;        // POSIX permission bits, or Win32 file attributes
  std::uint32_t owner = 0;       // POSIX user and group; 0 on Windows
  std::uint32_t group = 0;
};

// Whether the file now described by `now` still is the one described by `read`, unchanged.
constexpr bool unchanged(const FileStatus& now, const FileStatus& read) {
  return now.identity == read.identity && now.size == read.size &&
         now.modified_ns == read.modified_ns && now.changed_ns == read.changed_ns;
}

// How the staged files of a file system reach stable storage.
enum class FlushScope {
  whole_file_system,  // writing starts at once; one flush per file system for a whole group
  each_file,          // each staged file is flushed by itself as soon as it is written
};

// When the rewrite lets go of the page it read (the last hold on the replaced file).
enum class PageRelease {
  after_reading,                // at once: nothing of the page is needed later
  before_replace,               // just before the replacement (a held file blocks it)
  in_background_after_replace,  // after it, by the close pool (releasing can be slow)
};

// Whether the folder is locked while its pages are checked and replaced, so that two runs cannot
// both replace one version of a page.
enum class ReplaceLock { folder_lock, none };

// How a staged file takes its page's place.
enum class ReplaceStep {
  atomic_rename,       // one rename over the page: the name never goes missing
  remove_then_rename,  // the file system cannot rename over a file: the page is removed first,
                       // under an intent record that lets a later run finish the swap
};

// What the file system holding a folder can do, as far as the rewrite policy depends on it.
struct FolderCapabilities {
  FlushScope flush = FlushScope::whole_file_system;
  PageRelease page_release = PageRelease::in_background_after_replace;
  ReplaceLock lock = ReplaceLock::folder_lock;
  ReplaceStep replace = ReplaceStep::atomic_rename;
  // Other machines may reach the folder too (a network share): their runs' files can be told
  // from dead ones only by the owner in their names, not by this machine's locks or processes.
  bool shared = false;
};

// A folder held open for a batch of rewrites (the platform's handle, path and properties).
struct Folder;

// A page's place: the folder that holds it and its name there, in the system's own form.
struct EntryPlace {
  std::string folder;
  std::string name;
};

// Where the page listed as `path` is, by the text of the path alone.
EntryPlace place_of(const std::string& path);

// The real place of the entry `path` names when it is a link: links resolved, all of them.
std::variant<EntryPlace, IoError> resolve_link(const std::string& path);

// Opens the folder at `folder`; errors name `path` (the page it was opened for).
std::variant<std::shared_ptr<Folder>, IoError> open_folder(const std::string& folder,
                                                           const std::string& path);
FileIdentity identity_of(const Folder& folder);
FolderCapabilities capabilities_of(const Folder& folder);

// The entry opened by open_entry is a link: it must be resolved first.
struct EntryIsLink {};

// Opens the entry `name` of `folder` for reading, not following a final link and never blocking
// on a pipe or device; errors name `path`.
std::variant<File, EntryIsLink, IoError> open_entry(const Folder& folder, const std::string& name,
                                                    const std::string& path);

// Reads the open entry `file` whole into `out` (with `headroom` bytes reserved beyond it),
// describing it in `status`; refuses anything but a regular file.
std::optional<IoError> read_whole(const File& file, const std::string& path, FileStatus& status,
                                  std::string& out, std::size_t headroom);
std::optional<IoError> read_whole(const File& file, const std::string& path, FileStatus& status,
                                  PageBuffer& out);

// The status of the entry `name` of `folder` now, as read_whole gives it, when it is to be
// replaced; none when nothing (or something else than a file) stands there.
std::variant<FileStatus, std::monostate, IoError> replace_candidate(const Folder& folder,
                                                                    const std::string& name,
                                                                    const std::string& path);

// Refuses a page its user may not write (its permissions or read-only attribute).
std::optional<IoError> check_writable(const Folder& folder, const std::string& name,
                                      const FileStatus& status, const std::string& path);

// The name was taken (by another run's file, or a leftover removed under the creation): try
// another.
struct NameTaken {
  IoError error;
};

// Creates the new temporary file `name` in `folder`, held exclusively (locked or unshared) while it
// stays open, so that other runs can tell it from a dead run's leftover.
std::variant<File, NameTaken, IoError> create_temporary(const Folder& folder,
                                                        const std::string& name,
                                                        const std::string& path);

// Writes every piece in order to `file`.
std::optional<IoError> write_pieces(const File& file, std::span<const std::string_view> pieces,
                                    const std::string& path);

// Starts writing `file` out to storage without waiting (where the system can).
void start_writeback(const File& file);
// Puts `file` on stable storage.
std::optional<IoError> flush_file(const File& file, const std::string& path);
// The error of a page that does not fit: when the file system holding `folder` has fewer than
// `needed` bytes free (a share may report a full disk as a mere input/output error), the
// system's "no space" error naming `path`; none otherwise, or where that cannot be told.
std::optional<IoError> lack_of_room(const Folder& folder, std::uint64_t needed,
                                    const std::string& path);

// Puts everything written to the file system holding `folder` on stable storage.
std::optional<IoError> flush_file_system(const Folder& folder);

// What a new file could not take from its page because the mount, not the file, decides it.
enum NotKept : unsigned { kept_all = 0, owner_not_kept = 1, group_not_kept = 2, mode_not_kept = 4 };

// Gives the temporary file `temporary` the owner, permissions and extended attributes of the page
// (`page`, when still open, and `status`), where the system keeps them on the file itself. What
// the file system decides by itself (the mount's owner or mode) is left so and told in
// `not_kept`; anything else that cannot be kept is an error.
std::optional<IoError> keep_attributes(const Folder& folder, const std::string& name,
                                       const File& page, const FileStatus& status,
                                       const File& temporary, const std::string& path,
                                       unsigned& not_kept);

// The mount that holds `folder`, in words for the user: its mount point and kind ("/mnt/x
// (vfat)"), or the folder itself where the system has no such notion.
std::string mount_words(const Folder& folder);

// The file system refused to rename a file over an existing one (it cannot replace in one step).
struct CannotRenameOver {};

// Replaces the entry `name` of `folder` by the temporary file `temporary_name` (open as
// `temporary`, which the system may need to close first), carrying what the system keeps in the
// entry rather than the file (the page's `status` says what).
std::variant<std::monostate, CannotRenameOver, IoError> replace(
    const Folder& folder, const std::string& name, const std::string& temporary_name,
    File& temporary, const FileStatus& status, const std::string& path);

// Creates the small file `name` in `folder` holding `bytes`, on stable storage when this returns.
std::optional<IoError> write_new_file(const Folder& folder, const std::string& name,
                                      std::string_view bytes, const std::string& path);
// The content of the small file `name` of `folder` (at most `limit` bytes); none when it cannot
// be read.
std::optional<std::string> read_small_file(const Folder& folder, const std::string& name,
                                           std::size_t limit);
// Renames the entry `from` of `folder` to `to`, which must not exist.
std::optional<IoError> rename_entry(const Folder& folder, const std::string& from,
                                    const std::string& to, const std::string& path);
// Removes the entry `name` of `folder`.
std::optional<IoError> remove_entry(const Folder& folder, const std::string& name,
                                    const std::string& path);
// Puts the folder's entries (names added, removed, renamed) on stable storage.
std::optional<IoError> flush_folder(const Folder& folder, const std::string& path);

// Closes `file` and reports a write error that surfaces only then (network and FUSE file systems
// send the data at that point).
std::optional<IoError> close_checked(File& file, const std::string& path);

// Removes the temporary file `name` (open as `temporary`) and closes it.
void discard_temporary(const Folder& folder, const std::string& name, File& temporary);

// Takes and gives back the folder's lock (a wait of at most ten seconds for another holder; a
// file system without locks is used without).
std::optional<IoError> lock_folder(const Folder& folder, const std::string& path);
void unlock_folder(const Folder& folder);

// The names in `folder` that start with `prefix` and look like files (best effort).
std::vector<std::string> names_starting_with(const Folder& folder, std::string_view prefix);
// Whether a live process holds a temporary file locked, as far as this machine can tell.
enum class Hold {
  held,     // yes: a live run's
  unheld,   // no lock on it (on a shared folder, a run elsewhere may still own it)
  unknown,  // the file system gave no answer
};
// Removes the file `name` of `folder` when `dead`, told whether it is held, says its maker is
// gone; never a file a live run holds locked (best effort).
void remove_if_dead(const Folder& folder, const std::string& name,
                    const std::function<bool(Hold)>& dead);

// This run, as temporary names record their maker: this machine and boot, this process, now.
TemporaryOwner this_run();
// Whether process `process` of this machine is running.
bool process_alive(std::uint64_t process);

// How many pages may be staged at once: each may hold the page and its temporary file open.
std::size_t staging_capacity();

}  // namespace sys
}  // namespace qv
