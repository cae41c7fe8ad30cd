#include "cli/page_editors.h"

#include "engine/case_variant.h"
#include "engine/insertion.h"
#include "engine/tag_search.h"
#include "system/stop_requests.h"

namespace qv::cli {
namespace {

using Pieces = std::optional<std::vector<std::string_view>>;

// The insertion of `text` into `page`, or none with the reason in `outcome`. An empty text is
// contained nowhere, so it is never a reason to skip a page.
Pieces insert_once(std::string_view page, std::string_view tag, std::string_view text,
                   Presence presence, Outcome& outcome) {
  if (presence == Presence::skip_present && !text.empty() && find_last(page, text)) {
    outcome = Outcome::skipped;
    return std::nullopt;
  }
  const std::optional<Insertion> insertion = insert_before_last(page, tag, text);
  if (!insertion) {
    outcome = Outcome::no_tag;
    return std::nullopt;
  }
  outcome = Outcome::upgraded;
  const auto pieces = insertion->pieces();
  return std::vector<std::string_view>(pieces.begin(), pieces.end());
}

}  // namespace

void ReportingEditor::page_done(std::size_t index, PageOutcome how) {
  // A file reached a second time keeps what it received the first time.
  if (how == PageOutcome::already_rewritten) outcomes_[index] = Outcome::skipped;
  std::string spelling;
  if (outcomes_[index] == Outcome::other_case) spelling = std::move(spellings_[index]);
  spellings_.erase(index);
  report_.page(pages_[index], outcomes_[index], Report::Clock::now(), spelling);
}

void ReportingEditor::look_for_other_case(std::size_t index, std::string_view page,
                                          std::string_view tag) {
  if (outcomes_[index] != Outcome::no_tag) return;
  if (const std::optional<std::string_view> spelling = last_in_any_case(page, tag)) {
    outcomes_[index] = Outcome::other_case;
    spellings_[index] = std::string(*spelling);
  }
}

bool ReportingEditor::stop_requested() const {
  return stop_request() != StopRequest::none || report_.output_error().has_value();
}

Pieces InsertionEditor::edit(std::size_t index, std::string_view page) {
  Pieces pieces = insert_once(page, tag_, text_, presence_, outcome(index));
  look_for_other_case(index, page, tag_);
  return pieces;
}

Pieces RemovalEditor::edit(std::size_t index, std::string_view page) {
  const std::optional<Insertion> found = find_insertion(page, tag_, text_);
  if (!found) {
    outcome(index) = Outcome::without_text;
    return std::nullopt;
  }
  outcome(index) = Outcome::removed;
  return std::vector<std::string_view>{found->head, found->tail};
}

Pieces ReplacementEditor::edit(std::size_t index, std::string_view page) {
  const std::optional<Insertion> found = find_insertion(page, tag_, old_text_);
  if (!found) {
    Pieces pieces = insert_once(page, tag_, new_text_, Presence::skip_present, outcome(index));
    look_for_other_case(index, page, tag_);
    return pieces;
  }
  if (old_text_ == new_text_) {
    outcome(index) = Outcome::skipped;  // it already holds the new text, where it belongs
    return std::nullopt;
  }
  outcome(index) = Outcome::replaced;
  const auto pieces = Insertion{found->head, new_text_, found->tail}.pieces();
  return std::vector<std::string_view>(pieces.begin(), pieces.end());
}

}  // namespace qv::cli
