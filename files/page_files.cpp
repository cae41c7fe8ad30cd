// The page-rewrite policy, the same on every system: which folder a page is reached through,
// when its new content is staged, flushed and swapped in, what is checked before the swap, and
// what is released when. The system's own steps are in system/page_io.h; what a folder's file
// system can do (sys::FolderCapabilities) chooses between the ways of doing each.
#include "files/page_files.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <type_traits>

#include "files/dead_runs.h"
#include "files/open_folders.h"
#include "system/page_buffer.h"
#include "text/temporary_name.h"

namespace qv {

namespace {

// Reads the page whose entry `name` of `folder` was opened as `opened`.
template <typename Buffer>
std::variant<OpenedPage, IoError> read_opened(
    std::shared_ptr<OpenFolder> folder, std::string name,
    std::variant<sys::File, sys::EntryIsLink, IoError> opened, const std::string& path, Buffer& out,
    std::size_t headroom) {
  out.clear();
  if (std::holds_alternative<sys::EntryIsLink>(opened))
    return IoError{path, "Not a regular file (a symbolic link)"};
  if (auto* error = std::get_if<IoError>(&opened)) return std::move(*error);
  auto state = std::make_unique<OpenedPage::State>();
  state->page = std::get<sys::File>(std::move(opened));
  std::optional<IoError> error;
  if constexpr (std::is_same_v<Buffer, std::string>)
    error = sys::read_whole(state->page, path, state->read_status, out, headroom);
  else
    error = sys::read_whole(state->page, path, state->read_status, out);
  if (error) {
    out.clear();
    return *error;
  }
  if (folder->can.page_release == sys::PageRelease::after_reading) state->page.reset();
  state->path = path;
  state->entry = EntryIdentity{folder->identity, std::move(name)};
  state->folder = std::move(folder);
  return OpenedPage(std::move(state));
}

template <typename Buffer>
std::variant<OpenedPage, IoError> read_page(PageFiles::Folders& folders, const std::string& path,
                                            Buffer& out, std::size_t headroom) {
  sys::EntryPlace place = sys::place_of(path);
  auto folder = folders.open(place.folder, path);
  if (auto* error = std::get_if<IoError>(&folder)) {
    out.clear();
    return std::move(*error);
  }
  auto opened = sys::open_entry(*std::get<0>(folder)->folder, place.name, path);
  if (std::holds_alternative<sys::EntryIsLink>(opened)) {
    // The name is a link, resolved here, once: from now on the page is the entry its target
    // names, in the folder that holds that entry.
    auto resolved = sys::resolve_link(path);
    if (auto* error = std::get_if<IoError>(&resolved)) {
      out.clear();
      return std::move(*error);
    }
    place = std::get<sys::EntryPlace>(std::move(resolved));
    folder = folders.open(place.folder, path);
    if (auto* error = std::get_if<IoError>(&folder)) {
      out.clear();
      return std::move(*error);
    }
    opened = sys::open_entry(*std::get<0>(folder)->folder, place.name, path);
  }
  return read_opened(std::get<0>(std::move(folder)), std::move(place.name), std::move(opened), path,
                     out, headroom);
}

template <typename Buffer>
std::variant<OpenedPage, IoError> reread_page(const OpenedPage& page, Buffer& out,
                                              std::size_t headroom) {
  const OpenedPage::State& s = page.state();
  return read_opened(s.folder, s.entry.name,
                     sys::open_entry(*s.folder->folder, s.entry.name, s.path), s.path, out,
                     headroom);
}

// Writes every piece in order. A watch that fails a write counts each non-empty piece as one: the
// pieces before the failing one still reach the file, as they would one write at a time.
std::optional<IoError> write_staged(const sys::File& file, std::span<const std::string_view> pieces,
                                    const std::string& path, RewriteWatch* watch,
                                    std::mutex& watch_mutex) {
  for (std::size_t i = 0; watch != nullptr && i < pieces.size(); ++i) {
    if (pieces[i].empty()) continue;
    const int injected = [&] {
      std::lock_guard lock(watch_mutex);
      return watch->write_failure();
    }();
    if (injected != 0) {
      if (auto error = sys::write_pieces(file, pieces.first(i), path)) return error;
      return IoError{path, std::strerror(injected), injected == ENOSPC};
    }
  }
  return sys::write_pieces(file, pieces, path);
}

}  // namespace

namespace {

// Replaces the page of `s` in two steps (see replace_in_two_steps); a staged file that became
// the page's only copy is kept for the run that finishes the replacement.
std::optional<IoError> two_step_replace(OpenedPage::State& s) {
  bool only_copy = false;
  std::optional<IoError> error = replace_in_two_steps(
      *s.folder->folder, s.entry.name, s.temporary_name, s.temporary, s.path, only_copy);
  if (only_copy) s.temporary_name.clear();
  return error;
}

// Puts the staged file of `s` in its page's place, in one rename where the file system can.
std::optional<IoError> replace_page(OpenedPage::State& s) {
  OpenFolder& folder = *s.folder;
  if (folder.can.replace == sys::ReplaceStep::remove_then_rename) return two_step_replace(s);
  auto replaced = sys::replace(*folder.folder, s.entry.name, s.temporary_name, s.temporary,
                               s.read_status, s.path);
  if (auto* error = std::get_if<IoError>(&replaced)) return std::move(*error);
  if (std::holds_alternative<std::monostate>(replaced)) return std::nullopt;
  folder.can.replace = sys::ReplaceStep::remove_then_rename;  // for the rest of the batch too
  return two_step_replace(s);
}

}  // namespace

OpenedPage::OpenedPage(std::unique_ptr<State> state) : state_(std::move(state)) {}
OpenedPage::OpenedPage(OpenedPage&&) noexcept = default;
OpenedPage& OpenedPage::operator=(OpenedPage&&) noexcept = default;
OpenedPage::~OpenedPage() = default;
const std::string& OpenedPage::path() const { return state_->path; }
const EntryIdentity& OpenedPage::entry() const { return state_->entry; }
std::uint64_t OpenedPage::staged_size() const { return state_->staged; }

PageFiles::PageFiles(RewriteWatch* watch) : folders_(std::make_unique<Folders>()), watch_(watch) {
  folders_->watch = watch;
}
PageFiles::~PageFiles() = default;

std::variant<OpenedPage, IoError> PageFiles::read(const std::string& path, PageBuffer& out) {
  return read_page(*folders_, path, out, 0);
}
std::variant<OpenedPage, IoError> PageFiles::read(const std::string& path, std::string& out,
                                                  std::size_t headroom) {
  return read_page(*folders_, path, out, headroom);
}

std::variant<OpenedPage, IoError> PageFiles::reread(const OpenedPage& page, PageBuffer& out) {
  return reread_page(page, out, 0);
}
std::variant<OpenedPage, IoError> PageFiles::reread(const OpenedPage& page, std::string& out,
                                                    std::size_t headroom) {
  return reread_page(page, out, headroom);
}

std::optional<IoError> PageFiles::stage(OpenedPage& page,
                                        std::span<const std::string_view> pieces) {
  OpenedPage::State& s = page.state();
  const OpenFolder& folder = *s.folder;
  folders_->clean(folder);
  if (auto error = sys::check_writable(*folder.folder, s.entry.name, s.read_status, s.path))
    return error;

  // A name another run holds, or a file a cleaning run removed before it was held, is given up
  // for another.
  std::optional<IoError> taken;
  for (int attempt = 0; attempt < 100 && !s.temporary.valid(); ++attempt) {
    s.temporary_name = detail::new_temporary_name(sys::this_run());
    auto created = sys::create_temporary(*folder.folder, s.temporary_name, s.path);
    if (auto* file = std::get_if<sys::File>(&created)) {
      s.temporary = std::move(*file);
    } else if (auto* name_taken = std::get_if<sys::NameTaken>(&created)) {
      taken = std::move(name_taken->error);
    } else {
      s.temporary_name.clear();
      return std::get<IoError>(std::move(created));
    }
  }
  if (!s.temporary.valid()) {
    s.temporary_name.clear();
    return taken;
  }
  std::uint64_t needed = 0;
  for (std::string_view piece : pieces) needed += piece.size();
  auto fail = [&](IoError error) {
    s.discard_temporary();
    return error;
  };
  // A share may report a full disk as another error when the data is written, flushed or closed:
  // told by the room left without this file.
  auto fail_writing = [&](IoError error) {
    s.discard_temporary();
    if (!error.no_room)
      if (std::optional<IoError> full = sys::lack_of_room(*folder.folder, needed, s.path))
        return *full;
    return error;
  };
  if (auto error = write_staged(s.temporary, pieces, s.path, watch_, folders_->mutex))
    return fail_writing(*error);
  if (folder.can.flush == sys::FlushScope::whole_file_system) {
    // Starts writing the content out now, while the next pages are prepared, so that the group's
    // flush mostly waits for what is already under way.
    sys::start_writeback(s.temporary);
  }
  unsigned not_kept = sys::kept_all;
  if (auto error = sys::keep_attributes(*folder.folder, s.entry.name, s.page, s.read_status,
                                        s.temporary, s.path, not_kept))
    return fail(*error);
  if (not_kept != sys::kept_all) {
    std::lock_guard lock(folders_->mutex);
    auto [at, added] = folders_->not_kept.try_emplace(folder.identity.volume, 0u, std::string());
    if (added) at->second.second = sys::mount_words(*folder.folder);
    at->second.first |= not_kept;
  }
  if (folder.can.flush == sys::FlushScope::each_file) {
    // On stable storage before it replaces the page, so that a power cut leaves the old page or
    // the new one, never an empty file.
    if (auto error = sys::flush_file(s.temporary, s.path)) return fail_writing(*error);
    // Where the page is let go before its replacement (shares, FUSE), the staged file is closed
    // here too, with its result checked: such file systems may report a failed write (a full
    // disk on the server) only then. A live run's closed file is told by its name, not a lock.
    // The page read is let go now as well, off the thread that replaces the pages.
    if (folder.can.page_release == sys::PageRelease::before_replace) {
      if (auto error = sys::close_checked(s.temporary, s.path)) return fail_writing(*error);
      s.page.reset();
    }
  } else {
    std::lock_guard lock(folders_->mutex);
    folders_->staged.emplace(folder.identity.volume, s.folder);
  }
  s.staged = needed;
  return std::nullopt;
}

std::size_t PageFiles::staging_capacity() const { return sys::staging_capacity(); }

bool PageFiles::round_trips(const std::string& path) {
  auto folder = folders_->open(sys::place_of(path).folder, path);
  const auto* opened = std::get_if<std::shared_ptr<OpenFolder>>(&folder);
  // A folder reached over a network or a FUSE mount: each file flushed by itself and the page let
  // go before its replacement. A local disk that flushes file by file (FAT, any Windows volume)
  // keeps the page-by-page loop.
  return opened != nullptr && (*opened)->can.flush == sys::FlushScope::each_file &&
         (*opened)->can.page_release == sys::PageRelease::before_replace;
}

std::optional<IoError> PageFiles::make_durable() {
  // Taken out first: pages staged meanwhile on other threads are flushed by the next call.
  std::map<std::uint64_t, std::shared_ptr<OpenFolder>> staged;
  {
    std::lock_guard lock(folders_->mutex);
    staged.swap(folders_->staged);
  }
  std::optional<IoError> error;
  for (const auto& [volume, folder] : staged)
    if (!error) error = sys::flush_file_system(*folder->folder);
  return error;
}

std::variant<CommitOutcome, IoError> PageFiles::commit(OpenedPage& page) {
  OpenedPage::State& s = page.state();
  if (watch_ != nullptr) watch_->before_replace(s.path);
  OpenFolder& folder = *s.folder;
  if (folder.can.lock == sys::ReplaceLock::folder_lock && folders_->locked != s.folder) {
    folders_->unlock();
    if (auto error = sys::lock_folder(*folder.folder, s.path)) {
      s.discard_temporary();
      return *error;
    }
    folders_->locked = s.folder;
  }
  auto give_up = [&](std::optional<IoError> error) -> std::variant<CommitOutcome, IoError> {
    folders_->unlock();
    s.discard_temporary();
    if (error) return *error;
    return CommitOutcome::changed;
  };
  auto now = sys::replace_candidate(*folder.folder, s.entry.name, s.path);
  if (auto* error = std::get_if<IoError>(&now)) return give_up(std::move(*error));
  const auto* status = std::get_if<sys::FileStatus>(&now);
  if (status == nullptr || !sys::unchanged(*status, s.read_status)) return give_up(std::nullopt);

  if (folder.can.page_release == sys::PageRelease::before_replace) {
    // A share may refuse to replace a file still open: the page is let go first (the staged
    // file was closed once flushed).
    s.page.reset();
    if (auto error = sys::close_checked(s.temporary, s.path)) return give_up(std::move(error));
  }
  if (auto error = replace_page(s)) return give_up(std::move(error));
  // The page read was the last hold on the replaced file, kept so that the rename need not
  // release it; the release is left to the pool. The staged file, now the page, no longer needs
  // to be held either.
  if (s.page.valid()) folders_->closes.close(s.page.release());
  if (s.temporary.valid()) folders_->closes.close(s.temporary.release());
  s.temporary_name.clear();
  s.staged = 0;
  if (folder.can.flush == sys::FlushScope::whole_file_system)
    folders_->written.emplace(folder.identity.volume, s.folder);
  return CommitOutcome::replaced;
}

void PageFiles::end_commits() { folders_->unlock(); }

std::vector<std::string> PageFiles::notes() const {
  std::vector<std::string> notes = folders_->restored;
  for (const auto& [volume, what] : folders_->not_kept) {
    const auto [bits, mount] = what;
    std::vector<std::string_view> words;
    if (bits & sys::owner_not_kept) words.emplace_back("owner");
    if (bits & sys::group_not_kept) words.emplace_back("group");
    if (bits & sys::mode_not_kept) words.emplace_back("mode");
    std::string note;
    for (std::size_t i = 0; i < words.size(); ++i)
      note += std::string(i == 0                  ? ""
                          : i + 1 == words.size() ? " and "
                                                  : ", ") +
              std::string(words[i]);
    note += words.size() == 1 ? " is" : " are";
    notes.push_back(note + " the mount's on " + mount + ": not kept");
  }
  return notes;
}

std::optional<IoError> PageFiles::sync_written() {
  folders_->unlock();
  folders_->closes.wait();
  // Where each file is flushed by itself, the replacements are in the file system's journal, and
  // there is no call to wait for it without administrator rights.
  std::optional<IoError> error;
  for (const auto& [volume, folder] : folders_->written)
    if (!error) error = sys::flush_file_system(*folder->folder);
  folders_->written.clear();
  return error;
}

}  // namespace qv
