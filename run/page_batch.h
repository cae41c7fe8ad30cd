#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_io.h"
#include "run/messages.h"

namespace qv {

// Decides, page by page, what a batch writes. The window and the command line each bring their
// own; the loop, the atomic rewrite and the stop at the first failure are shared.
class PageEditor {
 public:
  virtual ~PageEditor() = default;
  // Given the page's bytes, returns the pieces of its new content, or none to leave the page
  // alone. The pieces may view `page` or the editor's own strings, and must stay valid until the
  // next call.
  virtual std::optional<std::vector<std::string_view>> edit(std::size_t index,
                                                            std::string_view page) = 0;
  // Told, instead of `edit`, that the page at `index` is a file the batch has already rewritten
  // (reached again through a link, or listed twice): it keeps the one copy it received.
  virtual void already_rewritten(std::size_t /*index*/) {}
  // Asked after each page: true ends the batch before the next page.
  virtual bool stop_requested() { return false; }
};

// Whether a batch writes the pages it changes, or only reports what it would do.
enum class WriteMode { write, dry_run };

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
};

// Walks `paths` in order: reads each page whole, lets `editor` decide its new
// content, and rewrites the page atomically when there is one. A file is rewritten at most once
// per batch, however many of the paths lead to it. Stops at the first page that cannot be read or
// written. Pages already rewritten are put on stable storage before it returns.
BatchResult rewrite_pages(std::span<const std::string> paths, PageEditor& editor, WriteMode mode);

}  // namespace qv
