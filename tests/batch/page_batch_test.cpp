// The shared page loop: what it tells the editor, a file written once however it is reached,
// dry runs, and the two ways a batch ends early.
#include "batch/page_batch.h"

#include <gtest/gtest.h>
#include <utility>

#include "tests/support/temp_folder.h"

namespace qv::testing {
namespace {

// Appends "!" to the pages holding an 'x'; records each notification; stops after `stop_after`.
class MarkingEditor : public PageEditor {
 public:
  std::optional<std::vector<std::string_view>> edit(std::size_t, std::string_view page) override {
    if (page.find('x') == std::string_view::npos) return std::nullopt;
    return std::vector<std::string_view>{page, "!"};
  }
  void page_done(std::size_t index, PageOutcome outcome) override {
    done.emplace_back(index, outcome);
  }
  bool stop_requested() const override { return done.size() == stop_after; }

  std::vector<std::pair<std::size_t, PageOutcome>> done;
  std::size_t stop_after = 0;
};

TEST(PageBatch, eachPageIsReportedOnceDoneAndAFileIsChangedOnceHoweverReached) {
  for (WriteMode mode : {WriteMode::write, WriteMode::dry_run}) {
    TempFolder folder;
    const std::vector<std::string> paths{folder.write("a", "x"), folder.write("b", "y"),
                                         folder.path() + "/./a"};
    MarkingEditor editor;
    const BatchResult result = rewrite_pages(paths, editor, mode);
    const std::vector<std::pair<std::size_t, PageOutcome>> expected{
        {0, PageOutcome::changed},
        {1, PageOutcome::unchanged},
        {2, PageOutcome::already_rewritten}};
    EXPECT_EQ(editor.done, expected);
    EXPECT_EQ(result.written, 1U);
    EXPECT_EQ(result.done, 3U);
    EXPECT_FALSE(result.failure);
    EXPECT_EQ(folder.read("a"), mode == WriteMode::write ? "x!" : "x");
  }
}

TEST(PageBatch, stopsWhenAskedOrAtTheFirstUnreadablePage) {
  TempFolder folder;
  const std::vector<std::string> paths{folder.write("a", "x"), folder / "missing",
                                       folder.write("c", "x")};
  MarkingEditor asked;
  asked.stop_after = 1;
  EXPECT_EQ(rewrite_pages(paths, asked, WriteMode::write).done, 1U);
  EXPECT_EQ(folder.read("c"), "x");

  MarkingEditor editor;
  const BatchResult result = rewrite_pages(paths, editor, WriteMode::write);
  ASSERT_TRUE(result.failure);
  EXPECT_EQ(result.failure->index, 1U);
  EXPECT_EQ(result.failure->access, PageAccess::read);
  EXPECT_EQ(editor.done.size(), 1U);  // the failed page is not reported as done
  EXPECT_EQ(folder.read("c"), "x");
}

}  // namespace
}  // namespace qv::testing
