#pragma once

#include <compare>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "system/page_io.h"

namespace qv {

class PageBuffer;

// Names one directory entry, whatever path leads to it (links, bind mounts, "..": all the same):
// the folder that really holds it and its name there. Hard links are distinct entries.
struct EntryIdentity {
  FileIdentity folder;
  std::string name;
  friend auto operator<=>(const EntryIdentity&, const EntryIdentity&) = default;
};

// A page read for rewriting. It holds the folder that really contains the page (a link on the
// listed path was resolved once, when the page was read) and the file as read, so that its
// rewrite lands on that same entry, whatever becomes of the path meanwhile. Destroying it closes
// what it holds and removes a temporary file that has not replaced the page.
class OpenedPage {
 public:
  struct State;  // its folder, files and status as read
  explicit OpenedPage(std::unique_ptr<State> state);
  OpenedPage(OpenedPage&&) noexcept;
  OpenedPage& operator=(OpenedPage&&) noexcept;
  ~OpenedPage();

  // The path the page was listed under (for messages).
  const std::string& path() const;
  // The entry that is rewritten.
  const EntryIdentity& entry() const;
  // Bytes in the staged temporary file; 0 when nothing is staged.
  std::uint64_t staged_size() const;

  State& state() { return *state_; }
  const State& state() const { return *state_; }

 private:
  std::unique_ptr<State> state_;
};

// How an attempt to replace a page ended.
enum class CommitOutcome {
  replaced,  // the page now holds the staged content
  changed,   // the page changed since it was read: nothing was written, the staged file is gone
};

// Watches page rewrites at the two points where tests make a fault or a race happen. Each hook
// does nothing unless overridden.
class RewriteWatch {
 public:
  virtual ~RewriteWatch() = default;
  // Asked before each non-empty piece of a page's new content is written: an errno value (such
  // as ENOSPC) that this write fails with instead, or 0 to write it.
  virtual int write_failure() { return 0; }
  // Told just before a page is checked to be the file read and replaced (its new content is on
  // stable storage by then), with the page's listed path.
  virtual void before_replace(const std::string& /*path*/) {}
  // Told what each folder's file system can do as the folder is opened; a test may change it to
  // take another file system's road on the one at hand.
  virtual void folder_opened(sys::FolderCapabilities& /*can*/) {}
};

// The file side of a batch of page rewrites. Each page is read through the folder that really
// holds it; its new content goes to a locked, hidden temporary file in that folder, with the page's
// owner, permission bits and extended attributes (access control lists included); the staged files
// of a group are put on stable storage together; each then replaces its page, unless the page
// changed since it was read. Folders it opens are cleared of the temporary files of dead runs.
// read() and stage() may run on several threads at once, for different pages (the watch's
// write_failure is then asked one thread at a time); everything else runs on one thread.
class PageFiles {
 public:
  // `watch`, when given, must outlive this.
  explicit PageFiles(RewriteWatch* watch = nullptr);
  PageFiles(const PageFiles&) = delete;
  PageFiles& operator=(const PageFiles&) = delete;
  ~PageFiles();

  // Opens the page at `path` and reads it whole into `out`. Only a regular file is read; anything
  // else (folder, pipe, device) is refused at once, without blocking.
  [[nodiscard]] std::variant<OpenedPage, IoError> read(const std::string& path, PageBuffer& out);
  // Same, into a string, reserving `headroom` bytes beyond the page.
  [[nodiscard]] std::variant<OpenedPage, IoError> read(const std::string& path, std::string& out,
                                                       std::size_t headroom = 0);

  // Reads `page` again, from the same entry (no new link resolution), after it changed.
  [[nodiscard]] std::variant<OpenedPage, IoError> reread(const OpenedPage& page, PageBuffer& out);
  [[nodiscard]] std::variant<OpenedPage, IoError> reread(const OpenedPage& page, std::string& out,
                                                         std::size_t headroom = 0);

  // Writes `pieces` to a new temporary file beside `page`, carrying the page's owner, permission
  // bits and extended attributes. Refuses a page its user may not write, and one whose attributes
  // cannot all be carried over.
  [[nodiscard]] std::optional<IoError> stage(OpenedPage& page,
                                             std::span<const std::string_view> pieces);

  // Whether the folder of the page listed as `path` is reached through a server (network and
  // FUSE mounts, where each file is flushed by itself), so that every step of its pages is a
  // round trip and several pages are best kept in flight. False when it cannot be opened.
  bool round_trips(const std::string& path);

  // How many pages may be staged at once: each holds the page and its temporary file open.
  std::size_t staging_capacity() const;

  // Puts every file staged since the last call on stable storage, one flush per file system.
  [[nodiscard]] std::optional<IoError> make_durable();

  // Replaces `page` by its staged file, unless the page no longer is the file that was read,
  // unchanged (same file, size and modification time); then the staged file is removed. The
  // page's folder stays locked against other runs' replacements until end_commits() or a commit
  // in another folder; the replaced file is released in the background.
  [[nodiscard]] std::variant<CommitOutcome, IoError> commit(OpenedPage& page);

  // Unlocks the folder the last commits locked.
  void end_commits();

  // What the batch did beside the pages, in words: the pages it put back from an interrupted run
  // ("restored <page> from an interrupted run"), and once per file system staged to, what its
  // mount decided instead of the pages ("owner and mode are the mount's on /mnt/x (vfat): not
  // kept").
  std::vector<std::string> notes() const;

  // Waits until the files replaced so far are released, then puts the replacements on stable
  // storage (the folders' entries).
  [[nodiscard]] std::optional<IoError> sync_written();

  struct Folders;  // the open folders and what the batch did in them

 private:
  std::unique_ptr<Folders> folders_;
  RewriteWatch* watch_;
};

}  // namespace qv
