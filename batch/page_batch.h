#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "files/page_files.h"
#include "system/file_io.h"

namespace qv {

// What a batch did with a page it finished.
enum class PageOutcome {
  changed,            // the editor gave new content: written (in a dry run: would have been)
  unchanged,          // the editor left the page alone
  already_rewritten,  // the file was reached again (a link, a path listed twice) and kept as is
};

// Decides, page by page, what a batch writes. The window and the command line each bring their
// own; the loop, the atomic rewrite and the stop at the first failure are shared.
class PageEditor {
 public:
  virtual ~PageEditor() = default;
  // Given the page's bytes, returns the pieces of its new content, or none to leave the page
  // alone. The pieces may view `page` or the editor's own strings, and must stay valid until the
  // next call. Not called for a file the batch has already rewritten.
  virtual std::optional<std::vector<std::string_view>> edit(std::size_t index,
                                                            std::string_view page) = 0;
  // The string pages are read into when the editor keeps each page (the window shows it), so
  // that a page is held once; `headroom` bytes are reserved beyond it for an insertion in place.
  // None: the batch reads into a buffer of its own.
  struct PageStore {
    std::string* bytes;
    std::size_t headroom;
  };
  virtual std::optional<PageStore> page_store() { return std::nullopt; }
  // Told once the page at `index` is fully handled, in list order (a page may be edited again
  // before it is done, when it changed meanwhile); never for the page that stops the batch.
  virtual void page_done(std::size_t /*index*/, PageOutcome /*outcome*/) {}
  // Asked after each page is read and decided, and after each is reported done: true ends the
  // batch after the page in hand (the pages decided before it are still written).
  virtual bool stop_requested() const { return false; }
};

// Whether a batch writes the pages it changes, or only reports what it would do.
enum class WriteMode { write, dry_run };

// Which access to a page failed.
enum class PageAccess { read, write };

// Where a batch stopped early.
struct PageFailure {
  std::size_t index;  // the page that failed; it and the pages after it are untouched
  PageAccess access;
  IoError error;
};

// What a batch did.
struct BatchResult {
  std::size_t written = 0;  // pages rewritten (in a dry run: that would have been)
  std::size_t done = 0;     // pages fully handled, failures excluded
  std::optional<PageFailure> failure;
  std::optional<IoError> sync_error;  // the rewritten pages may not be on stable storage yet
  // What the run did beside the pages and what the file systems written to decided instead of
  // them, in words (see PageFiles::notes).
  std::vector<std::string> notes;
};

// Watches a batch: the points of its rewrites (see RewriteWatch), and each page once it is read,
// before it is edited, so that tests can act at a known instant. Does nothing unless overridden.
class BatchObserver : public RewriteWatch {
 public:
  virtual void page_in_hand(std::size_t /*index*/) {}
};

// Walks `paths` in order: reads each page whole, lets `editor` decide its new content, and
// rewrites the page atomically when there is one. New contents are put on stable storage before
// they replace their pages, a group of pages at a time; pages are replaced in list order. A page
// changed by someone else since it was read is read and edited again, once; a second change stops
// the batch there. A directory entry is rewritten at most once per batch, however many of the
// paths lead to it. Stops at the first page that cannot be read or written. Pages already
// rewritten are put on stable storage before it returns.
// Where a page's folder is reached through a server (network and FUSE mounts), several pages are
// read and staged at once on a few threads; the editing, the editor's notifications and the
// replacements stay on the calling thread, in list order. `observer`, when given, watches it.
BatchResult rewrite_pages(std::span<const std::string> paths, PageEditor& editor, WriteMode mode,
                          BatchObserver* observer = nullptr);

}  // namespace qv
