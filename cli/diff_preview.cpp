#include "cli/diff_preview.h"

namespace qv::cli {

std::optional<std::vector<std::string_view>> DiffingEditor::edit(std::size_t index,
                                                                 std::string_view page) {
  std::optional<std::vector<std::string_view>> pieces = editor_.edit(index, page);
  if (!pieces) {
    diffs_.erase(index);  // a page edited again after a change may now be left alone
    return pieces;
  }
  std::string after;
  for (std::string_view piece : *pieces) after += piece;
  diffs_[index] = unified_diff(pages_[index], page, after, bytes_);
  return pieces;
}

void DiffingEditor::page_done(std::size_t index, PageOutcome outcome) {
  const auto found = diffs_.find(index);
  if (found != diffs_.end()) {
    if (outcome == PageOutcome::changed) report_.diff(found->second);
    diffs_.erase(found);
  }
  editor_.page_done(index, outcome);
}

}  // namespace qv::cli
