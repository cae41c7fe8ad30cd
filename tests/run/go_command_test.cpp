// The Go command from the user's side: confirmation, run, report, and what stops a run.
#include "tests/run/run_fixture.h"

namespace qv::testing {
namespace {

using GoCommand = RunFixture;
using Prompts = std::vector<std::string>;

TEST_F(GoCommand, confirmsRunsAndReportsWithExactTexts) {
  page("framec1.html", "<p>one</p></body></html>");
  page("framec2.html", "<p>two</p></body></html>");
  choose_text(kSnippet);
  open_site();
  form.Command3_Click();

  ASSERT_EQ(w.message_box.shown.size(), 2u);
  EXPECT_EQ(w.message_box.shown[0].prompt, " Are you sure to modified 2 files");
  EXPECT_EQ(w.message_box.shown[0].buttons, Buttons::yes_no);
  EXPECT_EQ(w.message_box.shown[0].title, " Insert text in HTML");
  EXPECT_EQ(w.message_box.shown[1].prompt, " 2 file(s) have been upgraded ");
  EXPECT_EQ(w.message_box.shown[1].buttons, Buttons::ok_cancel);
  EXPECT_EQ(w.message_box.shown[1].title, " Insert text in HTML");
  EXPECT_EQ(page_bytes("framec1.html"), "<p>one</p>\r\n" + kSnippet + "\r\n</body></html>");
  EXPECT_EQ(page_bytes("framec2.html"), "<p>two</p>\r\n" + kSnippet + "\r\n</body></html>");
  EXPECT_EQ(w.Label5.value, "2");
  EXPECT_EQ(w.Text1.value, "<p>two</p>\r\n" + kSnippet + "\r\n</body></html>");
}

TEST_F(GoCommand, onlyNoCancelsAtTheConfirmation) {
  page("a.html", "</body>");
  choose_text(kSnippet);
  open_site();
  w.message_box.answers = {answer::no};
  form.Command3_Click();
  EXPECT_EQ(prompts(), Prompts{" Are you sure to modified 1 files"});
  EXPECT_EQ(page_bytes("a.html"), "</body>");

  w.message_box.answers = {answer::cancel};
  form.Command3_Click();
  EXPECT_EQ(prompts().back(), " 1 file(s) have been upgraded ");
  EXPECT_EQ(page_bytes("a.html"), "\r\n" + kSnippet + "\r\n</body>");
}

TEST_F(GoCommand, emptyTagIsRefusedBeforeAnythingIsLoaded) {
  page("a.html", "</body>");
  page("b.html", "</body>");
  page("c.html", "</body>");
  choose_text(kSnippet);
  open_site();
  form.state().tag_text.clear();
  form.Command3_Click();
  ASSERT_EQ(w.message_box.shown.size(), 1u);
  EXPECT_EQ(w.message_box.shown[0].prompt, " BAD TAG 3 files");
  EXPECT_EQ(w.message_box.shown[0].buttons, Buttons::cancel_try_continue);
  EXPECT_EQ(w.message_box.shown[0].title, " Insert text in HTML");
  EXPECT_EQ(w.Text1.value, "Text1");
  EXPECT_EQ(page_bytes("a.html"), "</body>");
}

TEST_F(GoCommand, noTextFileChosenSaysSoAndReportsThePreviousCount) {
  page("a.html", "</body>");
  open_site();
  form.Command3_Click();
  EXPECT_EQ(prompts(), (Prompts{" Are you sure to modified 1 files", "no file to insert",
                                " 0 file(s) have been upgraded "}));
  EXPECT_EQ(w.message_box.shown[1].buttons, Buttons::ok);
  EXPECT_EQ(w.message_box.shown[1].title, "Insert text in Html files");
  EXPECT_EQ(page_bytes("a.html"), "</body>");
}

TEST_F(GoCommand, textWithoutTheMarkerEndsTheProgramBeforeAnyPageIsRead) {
  page("a.html", "</body>");
  choose_text("<script>var site = 1;</script>");
  open_site();
  EXPECT_THROW(form.Command3_Click(), ProgramEnded);
  EXPECT_TRUE(w.platform.ended);
  EXPECT_EQ(prompts(),
            (Prompts{" Are you sure to modified 1 files", " it is not a quorvane file"}));
  EXPECT_EQ(w.message_box.shown[1].buttons, Buttons::ok_cancel);
  EXPECT_EQ(w.message_box.shown[1].title, " Insert text in HTML file");
  EXPECT_EQ(w.Label5.value, "");  // the check comes before the count label
  EXPECT_EQ(w.platform.yields, 0);
  EXPECT_EQ(page_bytes("a.html"), "</body>");
}

TEST_F(GoCommand, withTheCheckOffAnyTextIsInserted) {
  page("a.html", "</body>");
  choose_text("plain");
  open_site();
  form.state().verification_on = MarkerCheck::off;
  form.Command3_Click();
  EXPECT_EQ(page_bytes("a.html"), "\r\nplain\r\n</body>");
}

TEST_F(GoCommand, emptyPageListCountsZero) {
  choose_text(kSnippet);
  open_site();
  form.Command3_Click();
  EXPECT_EQ(prompts(),
            (Prompts{" Are you sure to modified 0 files", " 0 file(s) have been upgraded "}));
  EXPECT_EQ(w.Label5.value, "0");
}

TEST_F(GoCommand, eachRunReportsOnlyItsOwnPages) {
  page("a.html", "</body>");
  page("b.html", "no tag");
  choose_text(kSnippet);
  open_site();
  form.Command3_Click();
  form.Command3_Click();
  EXPECT_EQ(prompts()[1], " 1 file(s) have been upgraded ");
  EXPECT_EQ(prompts()[3], " 1 file(s) have been upgraded ");
  EXPECT_EQ(page_bytes("a.html"), "\r\n" + kSnippet + "\r\n\r\n" + kSnippet + "\r\n</body>");
}

TEST_F(GoCommand, textFileIsReadAfreshAtEveryGo) {
  page("a.html", "</body>");
  choose_text(kSnippet + "1");
  open_site();
  form.Command3_Click();
  dir.write("texts/snippet.txt", kSnippet + "2");
  form.Command3_Click();
  EXPECT_EQ(page_bytes("a.html"), "\r\n" + kSnippet + "1\r\n\r\n" + kSnippet + "2\r\n</body>");
}

TEST_F(GoCommand, clickedPageIsTheOnlyOneProcessed) {
  page("a.html", "</body>");
  page("b.html", "</body>");
  choose_text(kSnippet);
  open_site();
  w.File1.click(1);
  form.Command3_Click();
  EXPECT_EQ(prompts()[0], " Are you sure to modified 1 files");
  EXPECT_EQ(page_bytes("a.html"), "</body>");
  EXPECT_NE(page_bytes("b.html"), "</body>");
}

}  // namespace
}  // namespace qv::testing
