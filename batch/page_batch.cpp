#include "batch/page_batch.h"

#include <chrono>
#include <set>
#include <thread>
#include <variant>

#include "batch/pages_ahead.h"
#include "files/page_files.h"
#include "system/page_buffer.h"

namespace qv {
namespace {

// A group is flushed to stable storage in one go, then its pages are replaced. Its size is
// bounded by the files the process may hold open (two per page) and by the bytes a failure or a
// kill makes the run redo.
constexpr std::uint64_t kGroupBytes = 64u << 20;
// How many times a page that found no room is tried again once the pages before it are replaced.
constexpr int kRoomAttempts = 4;

// A page read and decided on, not yet reported done.
struct Decided {
  std::size_t index;
  PageOutcome outcome;
  std::optional<OpenedPage> staged;  // its new content, waiting for the group's flush
};

class Batch {
 public:
  Batch(std::span<const std::string> paths, PageEditor& editor, WriteMode mode,
        BatchObserver* observer)
      : paths_(paths),
        editor_(editor),
        mode_(mode),
        observer_(observer),
        store_(editor.page_store()),
        files_(observer) {}

  BatchResult run() {
    for (std::size_t i = 0; i < paths_.size() && !result_.failure;) {
      if (files_.round_trips(paths_[i])) {
        flush();  // the pages before go first: pages are replaced in list order
        if (!result_.failure) i = take_ahead(i);
        continue;
      }
      if (!take(i)) break;
      if (editor_.stop_requested()) break;
      ++i;
    }
    flush();
    decided_.clear();
    if (std::optional<IoError> error = files_.sync_written()) result_.sync_error = error;
    result_.notes = files_.notes();
    return std::move(result_);
  }

 private:
  // Reads, decides and stages page `i`; false when the batch must stop.
  bool take(std::size_t i) {
    std::variant<OpenedPage, IoError> read = read_page(paths_[i]);
    if (IoError* error = std::get_if<IoError>(&read)) return stop_at(i, PageAccess::read, *error);
    OpenedPage page = std::get<OpenedPage>(std::move(read));
    if (rewritten_.contains(page.entry())) {
      // A second path to an entry already given new content would give it the text twice.
      decided_.push_back({i, PageOutcome::already_rewritten, std::nullopt});
    } else if (std::optional<std::vector<std::string_view>> pieces = edit(i)) {
      rewritten_.insert(page.entry());
      if (mode_ == WriteMode::write) {
        std::optional<IoError> error = files_.stage(page, *pieces);
        // No room for this page beside the group's staged files: the group is replaced first,
        // and the files replaced so far released and synced, which gives their room back; then
        // the page is tried alone. Some file systems (XFS) give freed room back a moment later.
        for (int attempt = 0; error && error->no_room && attempt < kRoomAttempts; ++attempt) {
          if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100 * attempt));
          if (!make_room()) return false;
          std::variant<OpenedPage, IoError> again = reread(page);
          if (IoError* failed = std::get_if<IoError>(&again))
            return stop_at(i, PageAccess::read, *failed);
          page = std::get<OpenedPage>(std::move(again));
          if (!(pieces = edit(i))) {
            decided_.push_back({i, PageOutcome::unchanged, std::nullopt});
            return true;
          }
          error = files_.stage(page, *pieces);
        }
        if (error) return stop_at(i, PageAccess::write, *error);
        staged_bytes_ += page.staged_size();
        decided_.push_back({i, PageOutcome::changed, std::move(page)});
      } else {
        decided_.push_back({i, PageOutcome::changed, std::nullopt});
      }
    } else {
      decided_.push_back({i, PageOutcome::unchanged, std::nullopt});
    }
    if (decided_.size() >= group_pages_ || staged_bytes_ >= kGroupBytes) flush();
    return !result_.failure;
  }

  // Takes the pages from `i` on with several in flight (see PagesAhead), as long as their folders
  // are reached through a server; returns where the plain loop goes on, the list's end when the
  // batch is over. A page that fails, or a stop, ends the batch as in the plain loop.
  std::size_t take_ahead(std::size_t i) {
    PagesAhead ahead(files_);
    ahead.read(i, paths_[i]);  // the first one whatever its folder says now: the loop moves on
    ++i;
    std::optional<PageFailure> unreadable;  // recorded once the pages before it are done
    bool taking = true, stopping = false;
    for (;;) {
      for (; taking && i < paths_.size() && !ahead.full() && files_.round_trips(paths_[i]); ++i)
        ahead.read(i, paths_[i]);
      if (ahead.empty()) break;
      if (PagesAhead::Page* page = ahead.wait()) {
        if (!decide(*page, ahead, unreadable)) {
          taking = false;
          stopping = !unreadable;
          if (unreadable)
            ahead.drop_from(*page);
          else
            ahead.drop_after(*page);
        }
        continue;
      }
      std::unique_ptr<PagesAhead::Page> page = ahead.take_front();
      if (page->stage_error && !stopping) {
        // No room for it beside the pages in flight (a share may call that an input/output
        // error): they are given up (and taken again after it, edited anew), the files replaced
        // so far released, and the page written alone, once; its error then is the page's own.
        forget_edits(ahead);
        ahead.drop_all();
        ahead.settle();
        if (std::optional<IoError> error = files_.sync_written()) result_.sync_error = error;
        const std::string_view content = page->content;
        page->stage_error = files_.stage(std::get<OpenedPage>(*page->read), {&content, 1});
        i = page->index + 1;
        taking = true;
        unreadable.reset();
      }
      if (!finish_ahead(*page, stopping)) {
        taking = false;
        ahead.drop_all();
      }
    }
    files_.end_commits();
    if (unreadable && !result_.failure) result_.failure = std::move(unreadable);
    return taking ? i : paths_.size();
  }

  // Edits a page read ahead and starts writing its new content; false when no page after it is
  // taken (it could not be read, or a stop is asked for).
  bool decide(PagesAhead::Page& page, PagesAhead& ahead, std::optional<PageFailure>& unreadable) {
    page.decided = true;
    if (IoError* error = std::get_if<IoError>(&*page.read)) {
      unreadable = PageFailure{page.index, PageAccess::read, std::move(*error)};
      return false;
    }
    const EntryIdentity& entry = std::get<OpenedPage>(*page.read).entry();
    if (rewritten_.contains(entry)) {
      page.outcome = PageOutcome::already_rewritten;
      return !editor_.stop_requested();
    }
    std::string_view bytes = page.bytes.view();
    if (store_) {
      store_->bytes->reserve(bytes.size() + store_->headroom);
      store_->bytes->assign(bytes);
      bytes = *store_->bytes;
    }
    if (observer_ != nullptr) observer_->page_in_hand(page.index);
    if (std::optional<std::vector<std::string_view>> pieces = editor_.edit(page.index, bytes)) {
      rewritten_.insert(entry);
      page.outcome = PageOutcome::changed;
      if (mode_ == WriteMode::write) ahead.stage(page, *pieces);
    }
    return !editor_.stop_requested();
  }

  // The pages in flight are to be taken again: the entries they were to rewrite are not
  // rewritten, or each would be taken as a second path to itself and skipped.
  void forget_edits(const PagesAhead& ahead) {
    for (const auto& page : ahead.pages())
      if (page->decided && page->outcome == PageOutcome::changed)
        rewritten_.erase(std::get<OpenedPage>(*page->read).entry());
  }

  // Replaces a page taken ahead and reports it done; false when the batch ends there.
  bool finish_ahead(PagesAhead::Page& page, bool stopping) {
    if (page.stage_error) {
      result_.failure = PageFailure{page.index, PageAccess::write, std::move(*page.stage_error)};
      return false;
    }
    Decided decided{page.index, page.outcome, std::nullopt};
    if (page.outcome == PageOutcome::changed && mode_ == WriteMode::write) {
      decided.staged = std::get<OpenedPage>(std::move(*page.read));
      // Staged where a whole file system is flushed (a link led to a local folder).
      if (std::optional<IoError> error = files_.make_durable()) {
        result_.failure =
            PageFailure{page.index, PageAccess::write,
                        IoError{paths_[page.index], std::move(error->reason), error->no_room}};
        return false;
      }
    }
    return finish(decided, stopping);
  }

  // Ends the batch at page `i`, once the pages decided before it are done.
  bool stop_at(std::size_t i, PageAccess access, IoError error) {
    flush();
    if (!result_.failure) result_.failure = PageFailure{i, access, std::move(error)};
    return false;
  }

  // Puts the staged pages on stable storage, then replaces them and reports every decided page,
  // in list order, up to the first that fails. A stop asked for while the pages are reported (an
  // output that cannot take their lines) ends the batch after the page that was just reported;
  // one asked for before comes after the page in hand, the last of the group.
  void flush() {
    const bool stopping = editor_.stop_requested();
    std::optional<IoError> durable = any_staged() ? files_.make_durable() : std::nullopt;
    staged_bytes_ = 0;
    for (Decided& page : decided_) {
      if (page.staged && durable) {
        // Named by the first page it keeps from being replaced, not the file system's folder.
        result_.failure =
            PageFailure{page.index, PageAccess::write,
                        IoError{paths_[page.index], std::move(durable->reason), durable->no_room}};
        break;
      }
      if (!finish(page, stopping)) break;
    }
    files_.end_commits();
    decided_.clear();  // closes the pages, removes staged files that were not used
  }

  // Replaces `page` when it is staged and reports it done; false when the batch ends there (it
  // failed, or a stop was asked for while it was reported and not already before, `stopping`).
  bool finish(Decided& page, bool stopping) {
    if (page.staged && !commit_page(page)) return false;
    if (page.outcome == PageOutcome::changed) ++result_.written;
    ++result_.done;
    editor_.page_done(page.index, page.outcome);
    return stopping || !editor_.stop_requested();
  }

  // Replaces the staged pages of the group and waits until the files they replaced are released
  // and their room given back; false when the batch must stop.
  bool make_room() {
    flush();
    if (result_.failure) return false;
    if (std::optional<IoError> error = files_.sync_written()) result_.sync_error = error;
    return !result_.sync_error;
  }

  bool any_staged() const {
    for (const Decided& page : decided_)
      if (page.staged) return true;
    return false;
  }

  // Replaces one staged page. A page changed since it was read is read and edited again, once;
  // false (with the failure recorded) when it cannot be replaced.
  bool commit_page(Decided& page) {
    for (int attempt = 0;; ++attempt) {
      std::variant<CommitOutcome, IoError> committed = files_.commit(*page.staged);
      if (IoError* error = std::get_if<IoError>(&committed))
        return fail(page, PageAccess::write, std::move(*error));
      if (std::get<CommitOutcome>(committed) == CommitOutcome::replaced) return true;
      if (attempt == 1)
        return fail(page, PageAccess::write,
                    IoError{paths_[page.index], "It changed while being processed"});
      std::variant<OpenedPage, IoError> read = reread(*page.staged);
      if (IoError* error = std::get_if<IoError>(&read))
        return fail(page, PageAccess::read, std::move(*error));
      page.staged = std::get<OpenedPage>(std::move(read));
      std::optional<std::vector<std::string_view>> pieces = edit(page.index);
      if (!pieces) {
        page.outcome = PageOutcome::unchanged;
        page.staged.reset();
        return true;
      }
      std::optional<IoError> error = files_.stage(*page.staged, *pieces);
      if (!error) error = files_.make_durable();
      if (error) return fail(page, PageAccess::write, std::move(*error));
    }
  }

  bool fail(const Decided& page, PageAccess access, IoError error) {
    result_.failure = PageFailure{page.index, access, std::move(error)};
    return false;
  }

  std::variant<OpenedPage, IoError> read_page(const std::string& path) {
    if (store_) return files_.read(path, *store_->bytes, store_->headroom);
    return files_.read(path, buffer_);
  }
  std::variant<OpenedPage, IoError> reread(const OpenedPage& page) {
    if (store_) return files_.reread(page, *store_->bytes, store_->headroom);
    return files_.reread(page, buffer_);
  }
  std::optional<std::vector<std::string_view>> edit(std::size_t index) {
    if (observer_ != nullptr) observer_->page_in_hand(index);
    return editor_.edit(index, view());
  }
  std::string_view view() const { return store_ ? *store_->bytes : buffer_.view(); }

  std::span<const std::string> paths_;
  PageEditor& editor_;
  WriteMode mode_;
  BatchObserver* observer_;
  std::optional<PageEditor::PageStore> store_;
  PageBuffer buffer_;  // one for the whole batch: pages seldom need it to grow
  PageFiles files_;
  std::set<EntryIdentity> rewritten_;  // the entries given new content
  std::vector<Decided> decided_;       // the current group, in list order
  std::uint64_t staged_bytes_ = 0;
  const std::size_t group_pages_ = files_.staging_capacity();
  BatchResult result_;
};

}  // namespace

BatchResult rewrite_pages(std::span<const std::string> paths, PageEditor& editor, WriteMode mode,
                          BatchObserver* observer) {
  return Batch(paths, editor, mode, observer).run();
}

}  // namespace qv
