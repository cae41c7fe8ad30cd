#pragma once

// Where every step of a page waits for a server (network and FUSE mounts), done one page after
// the other the steps of a site cost minutes. There the page loop keeps several pages in flight:
// a few threads read the next pages, and write and flush the new contents the loop has decided,
// while the loop itself edits the pages and replaces them one at a time, in list order.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "batch/page_batch.h"
#include "batch/workers.h"
#include "files/page_files.h"
#include "system/page_buffer.h"

namespace qv {

// The pages in flight ahead of the page loop, in list order, and the threads that work on them.
// Every function is called from the loop's thread.
class PagesAhead {
 public:
  // A page in flight. While a job for it runs, its bytes, read and stage_error are the workers';
  // everything else, and all of it once wait() or take_front() hands it over, is the loop's.
  struct Page {
    std::size_t index = 0;  // in the batch's list
    PageBuffer bytes;       // as read
    std::optional<std::variant<OpenedPage, IoError>> read;
    bool decided = false;  // the loop has edited it (or found it needs no edit)
    PageOutcome outcome = PageOutcome::unchanged;
    std::string content;  // its new content, owned here while it is written
    std::optional<IoError> stage_error;
    bool job_ended = false;  // guarded by the workers' lock
  };

  // `files` must outlive this; its read and stage are called from several threads at once.
  explicit PagesAhead(PageFiles& files);
  PagesAhead(const PagesAhead&) = delete;
  PagesAhead& operator=(const PagesAhead&) = delete;
  // Waits for the jobs under way, then closes the pages still held and removes their staged
  // files.
  ~PagesAhead();

  bool empty() const { return pages_.empty(); }
  // The pages in flight, in list order.
  const std::deque<std::unique_ptr<Page>>& pages() const { return pages_; }
  // Whether as many pages are in flight, or as many bytes held, as the bounds allow.
  bool full() const;
  // Starts reading the page listed as `path`, the `index`-th of the list, after those in flight.
  void read(std::size_t index, const std::string& path);
  // Waits until the first page not yet decided is read (and returns it), or until the first page
  // is decided and its new content written (and returns none). Unlocks the folder the loop's
  // replacements hold before it blocks.
  Page* wait();
  // Starts writing `pieces` (copied first) to a staged file for the decided `page`.
  void stage(Page& page, std::span<const std::string_view> pieces);
  // Hands over the first page, which wait() found ready.
  std::unique_ptr<Page> take_front();
  // Gives up `page` and every page after it: left as they are, their staged files removed.
  void drop_from(const Page& page);
  // Gives up every page after `page`.
  void drop_after(const Page& page);
  // Gives up every page in flight.
  void drop_all() { drop(0); }
  // Waits until the pages given up are freed.
  void settle() { free_dropped(true); }

 private:
  void drop(std::size_t first);
  void free_dropped(bool wait);

  PageFiles& files_;
  Workers workers_;
  std::deque<std::unique_ptr<Page>> pages_;
  std::vector<std::unique_ptr<Page>> dropped_;  // given up, freed once their jobs end
};

}  // namespace qv
