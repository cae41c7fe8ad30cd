// Listings over the platform's folder entries (files/folder_entries.h): sorting, patterns and the
// walk into subfolders are the same everywhere.
#include "files/folder_listing.h"

#include <algorithm>
#include <utility>

#include "system/folder_entries.h"
#include "text/ascii.h"
#include "text/file_pattern.h"
#include "text/path.h"

namespace qv {
namespace {

using detail::EntryKind;
using detail::Links;

bool any_name(std::string_view) { return true; }

// The sorted entries, or nothing when the folder cannot be opened.
std::vector<std::string> sorted_entries(const std::string& folder, EntryKind kind, Links links,
                                        const std::function<bool(std::string_view)>& accept) {
  auto entries = detail::read_entries(folder, kind, links, accept);
  auto* names = std::get_if<std::vector<std::string>>(&entries);
  if (names == nullptr) return {};
  sort_names(*names);
  return std::move(*names);
}

void add_folder_pages(const std::string& folder, std::string_view pattern, Recursion recursion,
                      const UnlistableFolder& unlistable, std::vector<std::string>& pages) {
  auto entries = detail::read_entries(
      folder, EntryKind::file, Links::follow,
      [pattern](std::string_view name) { return matches_pattern(name, pattern); });
  if (const IoError* error = std::get_if<IoError>(&entries)) {
    if (unlistable) unlistable(*error);
    return;
  }
  std::vector<std::string>& files = std::get<std::vector<std::string>>(entries);
  sort_names(files);
  for (const std::string& name : files) pages.push_back(folder_join(folder, name));
  if (recursion == Recursion::top_folder_only) return;
  for (const std::string& name : sorted_entries(folder, EntryKind::folder, Links::skip, any_name))
    add_folder_pages(folder_join(folder, name), pattern, recursion, unlistable, pages);
}

}  // namespace

void sort_names(std::vector<std::string>& names) {
  // Sorts (folded name, name) pairs: whole-string comparisons of the folded copies are much
  // cheaper than folding byte by byte inside every comparison.
  std::vector<std::pair<std::string, std::string>> keyed;
  keyed.reserve(names.size());
  for (std::string& name : names) {
    std::string folded = name;
    std::transform(folded.begin(), folded.end(), folded.begin(), ascii_lower);
    keyed.emplace_back(std::move(folded), std::move(name));
  }
  std::sort(keyed.begin(), keyed.end());
  for (std::size_t i = 0; i < names.size(); ++i) names[i] = std::move(keyed[i].second);
}

std::vector<std::string> list_files(const std::string& folder, std::string_view pattern) {
  return sorted_entries(folder, EntryKind::file, Links::follow, [pattern](std::string_view name) {
    return matches_pattern(name, pattern);
  });
}

std::vector<std::string> list_subfolders(const std::string& folder) {
  return sorted_entries(folder, EntryKind::folder, Links::follow, any_name);
}

std::vector<std::string> list_folder_pages(const std::string& folder, std::string_view pattern,
                                           Recursion recursion,
                                           const UnlistableFolder& unlistable) {
  std::vector<std::string> pages;
  add_folder_pages(folder, pattern, recursion, unlistable, pages);
  return pages;
}

}  // namespace qv
