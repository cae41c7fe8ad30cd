#include "files/dead_runs.h"

#include <set>
#include <variant>

#include "text/temporary_name.h"

namespace qv {
namespace {

// How long a temporary file of a run on another machine (or before this machine's last start) is
// taken to belong to a live run, on a folder other machines reach: the longest a group of pages
// may take between its staging and its replacement, with room for clocks that disagree.
constexpr std::int64_t kLeaseSeconds = 60 * 60;
// The largest intent record: a page name of the longest length, with its length and end.
constexpr std::size_t kIntentLimit = 4096;

// Ends the replacement the dead run's intent record `intent` describes: puts its temporary file
// in the page's place when the page's name is gone, then removes the record. False when the
// record cannot be read or the page cannot be put back (both are then kept).
bool finish_intent(const sys::Folder& folder, const std::string& folder_path,
                   const std::string& intent, std::vector<std::string>& restored) {
  const std::string temporary = temporary_name_for(intent);
  const std::optional<std::string> text = sys::read_small_file(folder, intent, kIntentLimit);
  if (!text) return false;
  // A record not written whole was cut before the page was removed: nothing to put back.
  if (const std::optional<std::string> page = page_of_intent(*text)) {
    const std::string path = folder_path + (folder_path.ends_with('/') ? "" : "/") + *page;
    auto exists = [&](const std::string& name) {
      return !std::holds_alternative<std::monostate>(sys::replace_candidate(folder, name, path));
    };
    if (!exists(*page) && exists(temporary)) {
      if (sys::rename_entry(folder, temporary, *page, path)) return false;
      (void)sys::flush_folder(folder, path);
      restored.push_back("restored " + path + " from an interrupted run");
    }
  }
  (void)sys::remove_entry(folder, intent, intent);
  return true;
}

}  // namespace

std::vector<std::string> clear_dead_runs(const sys::Folder& folder, const std::string& folder_path,
                                         const sys::FolderCapabilities& can) {
  std::vector<std::string> restored;
  const TemporaryOwner self = sys::this_run();
  auto gone = [&](const TemporaryOwner& owner) {
    return owner_is_gone(owner, self, can.shared, sys::process_alive(owner.process), self.created,
                         kLeaseSeconds);
  };
  // Intent records first, so that no temporary file that holds a page is taken for a leftover.
  std::set<std::string> needed;  // temporary files that unfinished intents still stand for
  for (const std::string& name : sys::names_starting_with(folder, detail::kIntentPrefix)) {
    if (!is_intent_name(name)) continue;
    const std::optional<TemporaryOwner> owner = owner_of(name);
    if (!owner || !gone(*owner) || !finish_intent(folder, folder_path, name, restored))
      needed.insert(temporary_name_for(name));
  }
  for (const std::string& name : sys::names_starting_with(folder, detail::kTemporaryPrefix)) {
    if (!is_temporary_name(name) || needed.contains(name)) continue;
    const std::optional<TemporaryOwner> owner = owner_of(name);
    sys::remove_if_dead(folder, name, [&](sys::Hold hold) {
      // On a folder no other machine reaches, a run holds its files locked while they live.
      if (hold == sys::Hold::unheld && (!can.shared || !owner)) return true;
      return owner && gone(*owner);
    });
  }
  return restored;
}

std::optional<IoError> replace_in_two_steps(const sys::Folder& folder, const std::string& name,
                                            const std::string& temporary_name,
                                            const sys::File& temporary, const std::string& path,
                                            bool& only_copy) {
  only_copy = false;
  const std::string intent = intent_name_for(temporary_name);
  auto abandon = [&](IoError error) {
    (void)sys::remove_entry(folder, intent, path);
    return error;
  };
  if (auto error = sys::write_new_file(folder, intent, intent_text(name), path))
    return abandon(*error);
  if (auto error = sys::flush_folder(folder, path)) return abandon(*error);
  if (auto error = sys::remove_entry(folder, name, path)) return abandon(*error);
  if (auto error = sys::rename_entry(folder, temporary_name, name, path)) {
    only_copy = true;
    return IoError{path, error->reason + "; its new content is kept in " + temporary_name +
                             ", which the next run puts in its place"};
  }
  // FAT writes a renamed file's size and first cluster into its new entry only when the file
  // itself is flushed; until then a power cut finds the page empty. The page holds its new
  // content by now, so a failing flush is no reason to report it unchanged.
  if (temporary.valid()) (void)sys::flush_file(temporary, path);
  (void)sys::flush_folder(folder, path);
  (void)sys::remove_entry(folder, intent, path);
  return std::nullopt;
}

}  // namespace qv
