// Loading the text and processing the pages: bytes kept, pages left alone, failures that stop a
// run without losing anything, and what the window may do while a run yields.
#include <sys/stat.h>

#include "tests/run/run_fixture.h"
#include "tests/support/run_program.h"
#include "text/path.h"

namespace qv::testing {
namespace {

namespace fs = std::filesystem;
using Processing = RunFixture;
using Prompts = std::vector<std::string>;

struct stat stat_of(const std::string& path) {
  struct stat info {};
  ::stat(path.c_str(), &info);
  return info;
}

void make_read_only(const std::string& path) {
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
}

TEST_F(Processing, everyByteOfPageAndTextGoesThroughUnchanged) {
  const std::string head("<p>\0\x1a\xff\xfe caf\xe9 \xc3\xa9 \x80\r\r", 19);
  const std::string tail("</body>\x1a\0", 9);
  page("a.html", head + tail);
  const std::string text = kSnippet + std::string("\0\x1a\xe9\n", 4);
  choose_text(text);
  open_site();
  form.Command3_Click();
  EXPECT_EQ(page_bytes("a.html"), head + "\r\n" + text + "\r\n" + tail);
}

TEST_F(Processing, pageWithoutTheTagIsNotWrittenAtAll) {
  std::string untouched = page("plain.html", "<p>no closing tag</p>\n");
  make_read_only(untouched);
  fs::last_write_time(untouched, fs::file_time_type::clock::now() - std::chrono::hours(48));
  struct stat before = stat_of(untouched);
  page("tagged.html", "</body>");
  choose_text(kSnippet);
  open_site();
  form.Command3_Click();
  struct stat after = stat_of(untouched);
  EXPECT_EQ(page_bytes("plain.html"), "<p>no closing tag</p>\n");
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mtime, before.st_mtime);
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_EQ(prompts().back(), " 1 file(s) have been upgraded ");
}

TEST_F(Processing, readOnlyPageStopsTheRunThereAndNothingIsLost) {
  page("a.html", "A</body>");
  make_read_only(page("b.html", "B</body>"));
  page("c.html", "C</body>");
  choose_text(kSnippet);
  open_site();
  form.Command3_Click();

  ASSERT_EQ(w.message_box.shown.size(), 3u);
  const auto& error = w.message_box.shown[1];
  EXPECT_EQ(error.buttons, Buttons::ok);
  EXPECT_NE(error.prompt.find(folder_join(site, "b.html")), std::string::npos) << error.prompt;
  EXPECT_NE(error.prompt.find(access_denied_reason()), std::string::npos) << error.prompt;
  EXPECT_EQ(prompts().back(), " 1 file(s) have been upgraded ");
  EXPECT_EQ(page_bytes("a.html"), "A\r\n" + kSnippet + "\r\n</body>");
  EXPECT_EQ(page_bytes("b.html"), "B</body>");
  EXPECT_EQ(page_bytes("c.html"), "C</body>");
  EXPECT_EQ(fs::directory_iterator(site) == fs::directory_iterator(), false);
  EXPECT_EQ(std::distance(fs::directory_iterator(site), fs::directory_iterator()), 3);
}

TEST_F(Processing, pageThatVanishedStopsTheRunWithItsName) {
  page("a.html", "A</body>");
  page("b.html", "B</body>");
  choose_text(kSnippet);
  open_site();
  fs::remove(folder_join(site, "a.html"));
  form.Command3_Click();
  ASSERT_EQ(w.message_box.shown.size(), 3u);
  EXPECT_NE(w.message_box.shown[1].prompt.find(missing_file_reason()), std::string::npos);
  EXPECT_NE(w.message_box.shown[1].prompt.find(folder_join(site, "a.html")), std::string::npos);
  EXPECT_EQ(page_bytes("b.html"), "B</body>");
  EXPECT_EQ(prompts().back(), " 0 file(s) have been upgraded ");
}

TEST_F(Processing, missingTextFileTouchesNoPage) {
  page("a.html", "A</body>");
  choose_text(kSnippet);
  open_site();
  form.Command3_Click();  // a first run leaves a count and a loaded text behind
  fs::remove(folder_join(texts, "snippet.txt"));
  form.Command3_Click();
  ASSERT_EQ(w.message_box.shown.size(), 5u);
  EXPECT_NE(w.message_box.shown[3].prompt.find(folder_join(texts, "snippet.txt")),
            std::string::npos);
  EXPECT_EQ(w.message_box.shown[3].buttons, Buttons::ok);
  EXPECT_EQ(prompts().back(), " 0 file(s) have been upgraded ");
  EXPECT_EQ(page_bytes("a.html"), "A\r\n" + kSnippet + "\r\n</body>");
}

TEST_F(Processing, pageBehindASymbolicLinkIsRewrittenThroughIt) {
  fs::create_directory(dir / "real");
  dir.write("real/page.html", "R</body>");
  if (!try_symlink(dir / "real/page.html", site + "/link.html"))
    GTEST_SKIP() << "no symbolic links here";
  choose_text(kSnippet);
  open_site();
  form.Command3_Click();
  EXPECT_TRUE(fs::is_symlink(site + "/link.html"));
  EXPECT_EQ(dir.read("real/page.html"), "R\r\n" + kSnippet + "\r\n</body>");
}

TEST_F(Processing, longPageWithTheTagNearItsStart) {
  const std::string rest(40000, 'x');
  page("long.html", "<p></body>" + rest);
  choose_text(kSnippet);
  open_site();
  form.Command3_Click();
  EXPECT_EQ(page_bytes("long.html"), "<p>\r\n" + kSnippet + "\r\n</body>" + rest);
}

TEST_F(Processing, textEndingInALineEndLeavesAnEmptyLineBeforeTheTag) {
  page("a.html", "A</body>");
  choose_text(kSnippet + "\r\n");
  open_site();
  form.Command3_Click();
  EXPECT_EQ(page_bytes("a.html"), "A\r\n" + kSnippet + "\r\n\r\n</body>");
}

TEST_F(Processing, directPressesWithAnEmptyTagAppendAfterTheLastByte) {
  page("a.html", "page");
  choose_text(kSnippet);
  open_site();
  form.state().tag_text.clear();
  form.Command1_Click();
  EXPECT_EQ(w.Text1.value, kSnippet);
  form.Command2_Click();
  EXPECT_EQ(page_bytes("a.html"), "page\r\n" + kSnippet + "\r\n");
  EXPECT_EQ(form.state().upgraded_count, 1);
}

TEST_F(Processing, processingWithoutALoadedTextDoesNothing) {
  page("a.html", "A</body>");
  open_site();
  form.state().upgraded_count = 5;
  form.Command2_Click();
  EXPECT_EQ(page_bytes("a.html"), "A</body>");
  EXPECT_EQ(form.state().upgraded_count, 5);
  EXPECT_EQ(w.Label5.value, "");
}

TEST_F(Processing, yieldsOncePerPageAfterReadingIt) {
  page("a.html", "A</body>");
  page("b.html", "B");
  choose_text(kSnippet);
  open_site();
  std::vector<std::string> seen;
  w.platform.during_yield = [&] { seen.push_back(form.state().file_text); };
  form.Command3_Click();
  EXPECT_EQ(seen, (std::vector<std::string>{"A</body>", "B"}));
}

TEST_F(Processing, goOrDirectPressesDuringTheYieldDoNothing) {
  page("a.html", "A</body>");
  page("b.html", "B</body>");
  choose_text(kSnippet);
  open_site();
  w.platform.during_yield = [&] {
    form.Command3_Click();
    form.Command1_Click();
    form.Command2_Click();
  };
  form.Command3_Click();
  EXPECT_EQ(prompts(),
            (Prompts{" Are you sure to modified 2 files", " 2 file(s) have been upgraded "}));
  EXPECT_EQ(page_bytes("a.html"), "A\r\n" + kSnippet + "\r\n</body>");
}

TEST_F(Processing, changingFolderOrPatternDuringTheYieldAppliesToTheNextRun) {
  page("a.html", "A</body>");
  page("b.html", "B</body>");
  fs::create_directory(dir / "other");
  dir.write("other/a.html", "O</body>");
  choose_text(kSnippet);
  open_site();
  w.platform.during_yield = [&] {
    w.masque.set_text("b.html");
    w.Dir1.set_path(dir / "other");
  };
  form.Command3_Click();
  EXPECT_EQ(page_bytes("a.html"), "A\r\n" + kSnippet + "\r\n</body>");
  EXPECT_EQ(page_bytes("b.html"), "B\r\n" + kSnippet + "\r\n</body>");
  EXPECT_EQ(dir.read("other/a.html"), "O</body>");
}

TEST_F(Processing, stopEndsTheRunAfterThePageInHandAndTheProgramGoesOn) {
  page("a.html", "A</body>");
  page("b.html", "B");
  page("c.html", "C</body>");
  page("d.html", "D</body>");
  choose_text(kSnippet);
  open_site();
  w.progress.stop_at = 2;  // asked while the third page is in hand
  form.Command3_Click();
  EXPECT_EQ(w.progress.names, (std::vector<std::string>{"a.html", "b.html", "c.html"}));
  EXPECT_EQ(w.progress.ends, 1);
  EXPECT_EQ(prompts(),
            (Prompts{" Are you sure to modified 4 files", " 2 file(s) have been upgraded "}));
  EXPECT_EQ(page_bytes("c.html"), "C\r\n" + kSnippet + "\r\n</body>");
  EXPECT_EQ(page_bytes("d.html"), "D</body>");
  EXPECT_FALSE(w.platform.ended);
  EXPECT_FALSE(form.run_in_progress());
}

TEST_F(Processing, closingTheWindowDuringARunEndsItAfterThePageInHand) {
  page("a.html", "A</body>");
  page("b.html", "B</body>");
  choose_text(kSnippet);
  open_site();
  bool may_close = true;
  w.platform.during_yield = [&] {
    if (w.platform.yields == 1) may_close = form.Form_QueryUnload();
  };
  EXPECT_THROW(form.Command3_Click(), ProgramEnded);
  EXPECT_FALSE(may_close);
  EXPECT_EQ(page_bytes("a.html"), "A\r\n" + kSnippet + "\r\n</body>");
  EXPECT_EQ(page_bytes("b.html"), "B</body>");
  EXPECT_TRUE(form.Form_QueryUnload());
}

}  // namespace
}  // namespace qv::testing
