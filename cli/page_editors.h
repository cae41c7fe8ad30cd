#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "batch/page_batch.h"
#include "cli/arguments.h"
#include "cli/report.h"

namespace qv::cli {

// A page editor that tells the report what it did with each page, once the shared loop has
// finished with it, so that a page whose rewrite fails is not counted. The run stops after the
// page in hand when the program is asked to stop or its output cannot be written.
class ReportingEditor : public PageEditor {
 public:
  ReportingEditor(std::span<const std::string> pages, Report& report)
      : pages_(pages), report_(report), outcomes_(pages.size(), Outcome::no_tag) {}

  void page_done(std::size_t index, PageOutcome how) override;
  bool stop_requested() const override;

 protected:
  // What `edit` decided for the page at `index`: pages are decided ahead of being done.
  Outcome& outcome(std::size_t index) { return outcomes_[index]; }
  // For a page at `index` left alone for want of `tag`: when it holds the tag in another letter
  // case, makes its outcome Outcome::other_case and keeps that spelling for the report.
  void look_for_other_case(std::size_t index, std::string_view page, std::string_view tag);

 private:
  std::span<const std::string> pages_;
  Report& report_;
  std::vector<Outcome> outcomes_;
  std::unordered_map<std::size_t, std::string> spellings_;  // of the pages in Outcome::other_case
};

// Puts `text` before the last `tag` of each page; with Presence::skip_present, leaves alone the
// pages that already contain it.
class InsertionEditor final : public ReportingEditor {
 public:
  InsertionEditor(std::span<const std::string> pages, std::string_view tag, std::string_view text,
                  Presence presence, Report& report)
      : ReportingEditor(pages, report), tag_(tag), text_(text), presence_(presence) {}

  std::optional<std::vector<std::string_view>> edit(std::size_t index,
                                                    std::string_view page) override;

 private:
  std::string_view tag_;
  std::string_view text_;
  Presence presence_;
};

// Takes out `text` where an insertion put it (framed, just before the last `tag`), which gives
// back the page as it was before; a page where it does not stand there is left alone.
class RemovalEditor final : public ReportingEditor {
 public:
  RemovalEditor(std::span<const std::string> pages, std::string_view tag, std::string_view text,
                Report& report)
      : ReportingEditor(pages, report), tag_(tag), text_(text) {}

  std::optional<std::vector<std::string_view>> edit(std::size_t index,
                                                    std::string_view page) override;

 private:
  std::string_view tag_;
  std::string_view text_;
};

// Swaps `old_text` for `new_text` where an insertion put the old one; elsewhere inserts the new
// text once, leaving alone the pages that already contain it.
class ReplacementEditor final : public ReportingEditor {
 public:
  ReplacementEditor(std::span<const std::string> pages, std::string_view tag,
                    std::string_view old_text, std::string_view new_text, Report& report)
      : ReportingEditor(pages, report), tag_(tag), old_text_(old_text), new_text_(new_text) {}

  std::optional<std::vector<std::string_view>> edit(std::size_t index,
                                                    std::string_view page) override;

 private:
  std::string_view tag_;
  std::string_view old_text_;
  std::string_view new_text_;
};

}  // namespace qv::cli
