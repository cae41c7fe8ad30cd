// The shared page loop: what it tells the editor, a file written once however it is reached,
// dry runs, and the two ways a batch ends early.
#include "batch/page_batch.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/mount.h>
#endif
#include <utility>

#include "tests/support/batch_faults.h"
#include "tests/support/file_hold.h"
#include "tests/support/temp_folder.h"

namespace qv::testing {
namespace {

// Appends "!" to the pages holding an 'x'; records each notification; stops after `stop_after`
// pages edited.
class MarkingEditor : public PageEditor {
 public:
  std::optional<std::vector<std::string_view>> edit(std::size_t, std::string_view page) override {
    ++edited;
    if (page.find('x') == std::string_view::npos) return std::nullopt;
    return std::vector<std::string_view>{page, "!"};
  }
  void page_done(std::size_t index, PageOutcome outcome) override {
    done.emplace_back(index, outcome);
  }
  bool stop_requested() const override { return edited == stop_after; }

  std::vector<std::pair<std::size_t, PageOutcome>> done;
  std::size_t edited = 0;
  std::size_t stop_after = 0;  // pages edited before the batch is asked to stop; 0: never
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

TEST(PageBatch, aPageChangedBeforeItsReplacementIsEditedAgainOnceThenTheBatchStops) {
  BatchFaults faults;
  TempFolder folder;
  const std::vector<std::string> paths{folder.write("a", "x"), folder.write("b", "x"),
                                       folder.write("c", "x")};
  // Someone edits "b" between its read and its replacement: the edit is kept, with the text.
  int edits_left = 1;
  faults.before_replace_action = [&](const std::string& path) {
    if (path == paths[1] && edits_left-- > 0)
      folder.write("b", "x" + std::string(edits_left + 1, 'e'));  // a new size each time
  };
  MarkingEditor editor;
  const BatchResult result = rewrite_pages(paths, editor, WriteMode::write, &faults);
  EXPECT_FALSE(result.failure);
  EXPECT_EQ(result.written, 3U);
  EXPECT_EQ(folder.read("b"), "xe!");

  // Edited again after it was read again: the batch stops at it, the edits kept.
  edits_left = 100;
  MarkingEditor second;
  const BatchResult stopped = rewrite_pages(paths, second, WriteMode::write, &faults);
  ASSERT_TRUE(stopped.failure);
  EXPECT_EQ(stopped.failure->index, 1U);
  EXPECT_EQ(stopped.failure->error.reason, "It changed while being processed");
  EXPECT_EQ(stopped.written, 1U);
  EXPECT_EQ(folder.read("a"), "x!!");
  EXPECT_EQ(folder.read("b"), "x" + std::string(99, 'e'));
  EXPECT_EQ(folder.read("c"), "x!");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 3);
}

TEST(PageBatch, twoBatchesAtOnceOverTheSamePagesGiveEachPageTwoCopies) {
  BatchFaults faults;
  TempFolder folder;
  const std::vector<std::string> paths{folder.write("a", "x"), folder.write("b", "x")};
  // A second batch runs from start to end while the first is about to replace its first page.
  bool started = false;
  faults.before_replace_action = [&](const std::string&) {
    if (std::exchange(started, true)) return;
    MarkingEditor other;
    EXPECT_FALSE(rewrite_pages(paths, other, WriteMode::write).failure);
  };
  MarkingEditor editor;
  EXPECT_FALSE(rewrite_pages(paths, editor, WriteMode::write, &faults).failure);
  EXPECT_EQ(folder.read("a"), "x!!");
  EXPECT_EQ(folder.read("b"), "x!!");
}

// A write fails far into the batch, after many replacements whose files are still being released
// and while the pages after it are staged: the batch stops there as if it had gone page by page.
TEST(PageBatch, aFailingWriteStopsTheBatchAtItsPageWithEarlierPagesReplacedAndNoStagedFileLeft) {
  BatchFaults faults;
  TempFolder folder;
  constexpr std::size_t kPages = 300, kFailing = 200;
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < kPages; ++i)
    paths.push_back(folder.write("p" + std::to_string(1000 + i), "x"));
  faults.fail_write(2 * kFailing + 1, ENOSPC);  // two pieces a page
  MarkingEditor editor;
  const BatchResult result = rewrite_pages(paths, editor, WriteMode::write, &faults);
  ASSERT_TRUE(result.failure);
  EXPECT_EQ(result.failure->index, kFailing);
  EXPECT_EQ(result.failure->access, PageAccess::write);
  EXPECT_EQ(result.written, kFailing);
  EXPECT_EQ(editor.done.size(), kFailing);
  for (std::size_t i = 0; i < kPages; ++i)
    ASSERT_EQ(folder.read("p" + std::to_string(1000 + i)), i < kFailing ? "x!" : "x") << i;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), kPages);
}

// The road of network and FUSE mounts, taken on the local test folder: each staged file flushed
// and closed by itself, the page let go before its replacement, several pages in flight.
class RemoteRoad : public BatchFaults {
 public:
  void folder_opened(sys::FolderCapabilities& can) override {
    can.flush = sys::FlushScope::each_file;
    can.page_release = sys::PageRelease::before_replace;
  }
};

// Pages in flight on worker threads stop at the first page that fails as page by page do: the
// pages before it replaced and reported in order, it and the ones after it untouched (though read,
// edited and perhaps staged already), no staged file left.
TEST(PageBatch, pagesKeptInFlightStopAtTheFirstFailingPageAsPageByPage) {
  TempFolder folder;
  constexpr std::size_t kPages = 100, kUnwritable = 60, kMissing = 30;
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < kPages; ++i)
    paths.push_back(folder.write("p" + std::to_string(1000 + i), "x"));
  std::filesystem::permissions(paths[kUnwritable], std::filesystem::perms::owner_read);
  RemoteRoad road;
  MarkingEditor editor;
  const BatchResult result = rewrite_pages(paths, editor, WriteMode::write, &road);
  ASSERT_TRUE(result.failure);
  EXPECT_EQ(result.failure->index, kUnwritable);
  EXPECT_EQ(result.failure->access, PageAccess::write);
  EXPECT_EQ(result.written, kUnwritable);
  std::vector<std::pair<std::size_t, PageOutcome>> expected;
  for (std::size_t i = 0; i < kUnwritable; ++i) expected.emplace_back(i, PageOutcome::changed);
  EXPECT_EQ(editor.done, expected);
  for (std::size_t i = 0; i < kPages; ++i)
    ASSERT_EQ(folder.read("p" + std::to_string(1000 + i)), i < kUnwritable ? "x!" : "x") << i;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), kPages);

  std::filesystem::remove(paths[kMissing]);
  MarkingEditor second;
  const BatchResult unread = rewrite_pages(paths, second, WriteMode::write, &road);
  ASSERT_TRUE(unread.failure);
  EXPECT_EQ(unread.failure->index, kMissing);
  EXPECT_EQ(unread.failure->access, PageAccess::read);
  EXPECT_EQ(second.done.size(), kMissing);
  EXPECT_EQ(folder.read("p" + std::to_string(1000 + kMissing - 1)), "x!!");
  EXPECT_EQ(folder.read("p" + std::to_string(1000 + kMissing + 1)), "x!");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), kPages - 1);
}

// A page that finds no room beside the pages in flight (a share may say so with an input/output
// error) is written alone once the ones before it are replaced; the pages given up meanwhile are
// taken again and receive the text like the rest.
TEST(PageBatch, pagesInFlightGivenUpForRoomAreTakenAgainAndChanged) {
  for (int error : {ENOSPC, EIO}) {
    TempFolder folder;
    constexpr std::size_t kPages = 40;
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < kPages; ++i)
      paths.push_back(folder.write("p" + std::to_string(1000 + i), "x"));
    RemoteRoad road;
    road.fail_write(11, error, 1);
    MarkingEditor editor;
    const BatchResult result = rewrite_pages(paths, editor, WriteMode::write, &road);
    EXPECT_FALSE(result.failure) << error;
    EXPECT_EQ(result.written, kPages) << error;
    for (std::size_t i = 0; i < kPages; ++i)
      ASSERT_EQ(folder.read("p" + std::to_string(1000 + i)), "x!") << i;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), kPages);
  }
}

#ifdef _WIN32
// A page another program holds open without letting others replace it can be read but not
// replaced: the batch stops there, the page and the ones after it as they were, nothing staged
// left behind.
TEST(PageBatch, aPageHeldOpenByAnotherProgramStopsTheBatchAtItsWrite) {
  TempFolder folder;
  const std::vector<std::string> paths{folder.write("a", "x"), folder.write("b", "x"),
                                       folder.write("c", "x")};
  FileHold hold(paths[1]);
  ASSERT_TRUE(hold.held());
  MarkingEditor editor;
  const BatchResult result = rewrite_pages(paths, editor, WriteMode::write);
  ASSERT_TRUE(result.failure);
  EXPECT_EQ(result.failure->index, 1U);
  EXPECT_EQ(result.failure->access, PageAccess::write);
  EXPECT_EQ(result.written, 1U);
  EXPECT_EQ(folder.read("a"), "x!");
  EXPECT_EQ(folder.read("b"), "x");
  EXPECT_EQ(folder.read("c"), "x");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 3);
}
#else  // bind mounts are Linux's
TEST(PageBatch, aFileReachedAgainThroughABindMountIsChangedOnce) {
  TempFolder folder;
  std::filesystem::create_directory(folder / "real");
  std::filesystem::create_directory(folder / "view");
  const std::string page = folder.write("real/a", "x");
  if (::mount(page.substr(0, page.size() - 2).c_str(), (folder / "view").c_str(), nullptr, MS_BIND,
              nullptr) != 0)
    GTEST_SKIP() << "no bind mount here: " << std::strerror(errno);
  struct Unmount {
    std::string at;
    ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
  } unmount{folder / "view"};
  const std::vector<std::string> paths{page, folder / "view/a"};
  MarkingEditor editor;
  rewrite_pages(paths, editor, WriteMode::write);
  const std::vector<std::pair<std::size_t, PageOutcome>> expected{
      {0, PageOutcome::changed}, {1, PageOutcome::already_rewritten}};
  EXPECT_EQ(editor.done, expected);
  EXPECT_EQ(folder.read("real/a"), "x!");
}
#endif

}  // namespace
}  // namespace qv::testing
