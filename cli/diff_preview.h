#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "batch/page_batch.h"
#include "cli/report.h"
#include "cli/unified_diff.h"

namespace qv::cli {

// Stands in front of a run's editor and hands the report the unified diff of each page the run
// changes (or, in a dry run, would change), once the page is done, in list order; a page that
// fails has none. Everything else is the wrapped editor's.
class DiffingEditor final : public PageEditor {
 public:
  DiffingEditor(std::span<const std::string> pages, PageEditor& editor, Report& report,
                DiffBytes bytes)
      : pages_(pages), editor_(editor), report_(report), bytes_(bytes) {}

  std::optional<std::vector<std::string_view>> edit(std::size_t index,
                                                    std::string_view page) override;
  std::optional<PageStore> page_store() override { return editor_.page_store(); }
  void page_done(std::size_t index, PageOutcome outcome) override;
  bool stop_requested() const override { return editor_.stop_requested(); }

 private:
  std::span<const std::string> pages_;
  PageEditor& editor_;
  Report& report_;
  DiffBytes bytes_;
  std::unordered_map<std::size_t, std::string> diffs_;  // of the pages decided, not yet done
};

}  // namespace qv::cli
