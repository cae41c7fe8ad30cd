// The whole window as a user meets it: Form1 behind the real widgets, driven with the mouse and the
// keyboard. Message boxes are answered through the box's test seam; the run's pages live in a
// temporary folder.
#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "app/window_program.h"
#include "system/stop_requests.h"
#include "tests/support/fake_controls.h"
#include "tests/support/page_assertions.h"
#include "tests/support/temp_folder.h"
#include "tests/window_qt/gui_support.h"
#include "window/control_table.h"
#include "window/qt/list_controls.h"
#include "window/qt/text_controls.h"

namespace qv::testing {
namespace {

using Names = std::vector<std::string>;

class Window : public ::testing::Test {
 protected:
  using Box = ScriptedMessageBox::Shown;

  TempFolder dir;
  std::string site = dir / "site";
  std::string texts = dir / "texts";
  std::unique_ptr<WindowProgram> program;
  std::vector<Box> boxes;
  std::deque<int> answers;                // taken in order; then each box's first button
  std::function<void()> on_confirmation;  // runs when the Go confirmation is answered
  bool ended = false;

  void SetUp() override {
    std::filesystem::create_directory(site);
    std::filesystem::create_directory(texts);
    dir.write("texts/snippet.txt", kSnippet);
    dir.write("start.html", "</body>");
    dir.write("framec0.html", "</body>");
  }

  // Opens the window on the temporary folder, with "/" and that folder as the two drives.
  void start() {
    program = std::make_unique<WindowProgram>([this] {
      return std::vector<Volume>{{"/", ""}, {dir.path(), "TEST"}};
    });
    program->window().gate().set_end_action([this] { ended = true; });
    program->window().message_box().on_show = [this](std::string_view prompt, Buttons buttons,
                                                     std::string_view title) {
      boxes.push_back({std::string(prompt), buttons, std::string(title)});
      int code = buttons == Buttons::yes_no                ? answer::yes
                 : buttons == Buttons::cancel_try_continue ? answer::cancel
                                                           : answer::ok;
      if (!answers.empty()) {
        code = answers.front();
        answers.pop_front();
      }
      if (buttons == Buttons::yes_no && on_confirmation) on_confirmation();
      return std::optional<int>(code);
    };
    program->start(dir.path());
    program->window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&program->window()));
  }

  template <typename Widget = QWidget>
  Widget& control(const char* name) {
    auto* widget = program->window().findChild<Widget*>(QString::fromUtf8(name));
    EXPECT_NE(widget, nullptr) << name;
    return *widget;
  }
  std::string caption(const char* label) { return control<QLabel>(label).text().toStdString(); }
  void press(const char* button) { QTest::mouseClick(&control(button), Qt::LeftButton); }

  std::string page(std::string_view name, std::string_view content = "<p></p></body></html>") {
    return dir.write("site/" + std::string(name), content);
  }
  std::string bytes(std::string_view name) { return dir.read("site/" + std::string(name)); }

  // The user opens the text folder, picks the snippet, then opens the site folder.
  void choose_text_then_site() {
    double_click_row(control<QListWidget>("Dir2"), "texts");
    click_row(control<QListView>("File2"), "snippet.txt");
    double_click_row(control<QListWidget>("Dir1"), "site");
  }
  // The name the folder lists show for the temporary folder, above "site" and "texts".
  std::string top_name() const { return std::filesystem::path(dir.path()).filename().string(); }
  std::vector<std::string> prompts() const {
    std::vector<std::string> shown;
    for (const Box& box : boxes) shown.push_back(box.prompt);
    return shown;
  }
};

TEST_F(Window, opensOnTheStartFolderWithEmptyLabelsAndTheFocusOnTheFirstDrive) {
  start();
  QWidget& window = program->window();
  EXPECT_EQ(window.windowTitle(), "Insert text in HTML files");
  EXPECT_EQ(window.size(), QSize(506, 488));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  EXPECT_EQ(window.windowIcon().availableSizes().size(), 2);  // 16 and 32 pixels
  EXPECT_EQ(caption("Label2"), "");
  EXPECT_EQ(caption("Label3"), "");
  EXPECT_EQ(caption("Label5"), "");
  EXPECT_EQ(control<QPlainTextEdit>("Text1").toPlainText(), "Text1");
  EXPECT_EQ(QApplication::focusWidget(), &control("Drive1"));
  EXPECT_EQ(control<QComboBox>("Drive1").currentText(),
            QString::fromStdString(dir.path() + " [TEST]"));
  EXPECT_EQ(program->form().state().tag_text, "</body>");
  // Until the pattern box first changes, the page list keeps its own pattern.
  EXPECT_EQ(control<QLineEdit>("masque").text(), "framec*.htm");
  EXPECT_EQ(rows(control<QListView>("File1")), Names{"framec0.html"});
  EXPECT_EQ(rows(control<QListView>("File2")), Names{});
}

TEST_F(Window, controlsAreWhereTheTableSaysAndTabFollowsItsOrder) {
  start();
  std::vector<std::pair<int, std::string>> focus_order;
  for (const ControlSpec& row : control_table()) {
    QWidget& widget = control(std::string(row.name).c_str());
    EXPECT_EQ(widget.geometry(),
              QRect(row.left / 15, row.top / 15, row.width / 15, row.height / 15))
        << row.name;
    if (row.kind == ControlKind::button) {
      EXPECT_EQ(static_cast<QPushButton&>(widget).text().toStdString(), row.text);
    }
    if (takes_focus(row.kind)) focus_order.emplace_back(row.tab_index, row.name);
  }
  EXPECT_EQ(caption("titre1"), "Web files to completed");
  EXPECT_EQ(caption("pattern"), "pattern :");
  EXPECT_EQ(caption("Label1"), "text file to insert");

  std::sort(focus_order.begin(), focus_order.end());
  focus_order.push_back(focus_order.front());  // and round again
  for (const auto& [tab, name] : focus_order) {
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), name);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
}

TEST_F(Window, goInsertsTheChosenTextIntoEveryListedPage) {
  page("framec1.html");
  page("framec2.html");
  page("other.html");
  start();
  choose_text_then_site();
  EXPECT_EQ(caption("Label3"), texts + "/snippet.txt");
  EXPECT_EQ(caption("Label2"), site + "/");
  press("Command3");

  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].prompt, " Are you sure to modified 2 files");
  EXPECT_EQ(boxes[0].buttons, Buttons::yes_no);
  EXPECT_EQ(boxes[0].title, " Insert text in HTML");
  EXPECT_EQ(boxes[1].prompt, " 2 file(s) have been upgraded ");
  EXPECT_EQ(boxes[1].buttons, Buttons::ok_cancel);
  EXPECT_EQ(boxes[1].title, " Insert text in HTML");
  const std::string done = "<p></p>\r\n" + kSnippet + "\r\n</body></html>";
  EXPECT_EQ(bytes("framec1.html"), done);
  EXPECT_EQ(bytes("framec2.html"), done);
  EXPECT_EQ(bytes("other.html"), "<p></p></body></html>");
  EXPECT_EQ(caption("Label5"), "2");
  EXPECT_EQ(dynamic_cast<TextBox&>(control("Text1")).text(), done);
  EXPECT_EQ(program->window().progress().times_shown(), 0);  // a short run shows no progress
  // Off screen, yet its text is there once the run is over.
  EXPECT_TRUE(control<QPlainTextEdit>("Text1").toPlainText().endsWith("</body></html>"));
}

TEST_F(Window, longPathsKeepTheFileNameInSightAndShowTheWholePathAsATip) {
  const std::string deep = "texts/" + std::string(60, 'd');
  std::filesystem::create_directory(dir / deep);
  dir.write(deep + "/snippet.txt", kSnippet);
  start();
  double_click_row(control<QListWidget>("Dir2"), "texts");
  double_click_row(control<QListWidget>("Dir2"), std::string(60, 'd'));
  click_row(control<QListView>("File2"), "snippet.txt");
  auto& label = control<qt::LabelBox>("Label3");
  EXPECT_EQ(label.text().toStdString(), dir / (deep + "/snippet.txt"));
  EXPECT_EQ(label.toolTip(), label.text());
  EXPECT_TRUE(label.drawn_text().contains(QChar(0x2026)));
  EXPECT_TRUE(label.drawn_text().endsWith("/snippet.txt"));
  EXPECT_TRUE(label.drawn_text().startsWith("/"));
}

TEST_F(Window, aClickedPageIsTheOnlyOneConfirmedAndProcessed) {
  page("framec1.html");
  page("framec2.html");
  start();
  choose_text_then_site();
  click_row(control<QListView>("File1"), "framec2.html");
  EXPECT_EQ(caption("Label2"), site + "/framec2.html");
  EXPECT_EQ(control<QLineEdit>("masque").text(), "framec2.html");
  EXPECT_EQ(rows(control<QListView>("File1")), Names{"framec2.html"});
  press("Command3");
  EXPECT_EQ(prompts(),
            (Names{" Are you sure to modified 1 files", " 1 file(s) have been upgraded "}));
  EXPECT_EQ(bytes("framec1.html"), "<p></p></body></html>");
  EXPECT_NE(bytes("framec2.html"), "<p></p></body></html>");
}

TEST_F(Window, patternBoxEditsAndClearPatternChangeWhatTheListShows) {
  page("framec1.html");
  page("framec2.htm");
  page("notes.txt");
  page("README");
  start();
  double_click_row(control<QListWidget>("Dir1"), "site");
  EXPECT_EQ(rows(control<QListView>("File1")), Names{"framec1.html"});

  auto& masque = control<QLineEdit>("masque");
  masque.setFocus();
  masque.end(false);
  QTest::keyClick(&masque, Qt::Key_Backspace);
  EXPECT_EQ(rows(control<QListView>("File1")), Names{});  // "framec*.ht"
  QTest::keyClicks(&masque, "m ");
  EXPECT_EQ(rows(control<QListView>("File1")), Names{"framec2.htm"});  // spaces trimmed

  press("Command4");
  EXPECT_EQ(masque.text(), "*.*");
  EXPECT_EQ(rows(control<QListView>("File1")),
            (Names{"framec1.html", "framec2.htm", "notes.txt", "README"}));
}

TEST_F(Window, aDriveChangeEmptiesThePathLabelAndEachDriveKeepsItsFolder) {
  start();
  double_click_row(control<QListWidget>("Dir1"), "site");
  EXPECT_EQ(caption("Label2"), site + "/");
  auto& drive = control<QComboBox>("Drive1");
  drive.setFocus();
  QTest::keyClick(&drive, Qt::Key_Up);  // to "/"
  EXPECT_EQ(caption("Label2"), "");
  EXPECT_EQ(dynamic_cast<FolderList&>(control("Dir1")).path(), "/");
  QTest::keyClick(&drive, Qt::Key_Down);  // back: to the folder left on that drive
  EXPECT_EQ(caption("Label2"), "");
  EXPECT_EQ(dynamic_cast<FolderList&>(control("Dir1")).path(), site);
  EXPECT_EQ(dynamic_cast<FileList&>(control("File1")).path(), site);
}

TEST_F(Window, movingTheTextPaneDropsTheChoiceAndGoThenHasNoFileToInsert) {
  page("framec1.html");
  start();
  choose_text_then_site();
  double_click_row(control<QListWidget>("Dir2"), top_name());
  EXPECT_EQ(caption("Label3"), "");
  press("Command3");
  EXPECT_EQ(prompts(), (Names{" Are you sure to modified 1 files", "no file to insert",
                              " 0 file(s) have been upgraded "}));
  EXPECT_EQ(boxes[1].title, "Insert text in Html files");
  EXPECT_EQ(bytes("framec1.html"), "<p></p></body></html>");
}

TEST_F(Window, offScreenButtonsArePressedFromTheKeyboard) {
  start();
  double_click_row(control<QListWidget>("Dir2"), "texts");
  click_row(control<QListView>("File2"), "snippet.txt");
  auto& load = control<QPushButton>("Command1");
  load.setFocus();
  QTest::keyClick(&load, Qt::Key_Return);
  EXPECT_EQ(dynamic_cast<TextBox&>(control("Text1")).text(), kSnippet);

  double_click_row(control<QListWidget>("Dir2"), top_name());
  QTest::keyClick(&load, Qt::Key_Space);
  EXPECT_EQ(prompts(), Names{"no file to insert"});
}

TEST_F(Window, endEndsAtOnceAndNothingRunsAfterIt) {
  page("framec1.html");
  start();
  double_click_row(control<QListWidget>("Dir1"), "site");
  press("Command5");
  EXPECT_TRUE(ended);
  press("Command3");
  double_click_row(control<QListWidget>("Dir1"), top_name());
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(caption("Label2"), site + "/");
}

TEST_F(Window, aSecondGoDuringARunDoesNothing) {
  page("framec1.html");
  page("framec2.html");
  start();
  choose_text_then_site();
  // Go again while the run yields between pages.
  on_confirmation = [this] {
    on_confirmation = nullptr;
    QTimer::singleShot(0, [this] { press("Command3"); });
  };
  press("Command3");
  EXPECT_EQ(prompts(),
            (Names{" Are you sure to modified 2 files", " 2 file(s) have been upgraded "}));
  EXPECT_EQ(bytes("framec2.html"), "<p></p>\r\n" + kSnippet + "\r\n</body></html>");
}

TEST_F(Window, endDuringARunEndsBeforeTheNextPage) {
  page("framec1.html");
  page("framec2.html");
  start();
  choose_text_then_site();
  on_confirmation = [this] { QTimer::singleShot(0, [this] { press("Command5"); }); };
  press("Command3");
  EXPECT_TRUE(ended);
  EXPECT_EQ(prompts(), Names{" Are you sure to modified 2 files"});  // no report
  EXPECT_EQ(bytes("framec1.html"), "<p></p></body></html>");
  EXPECT_EQ(bytes("framec2.html"), "<p></p></body></html>");
}

TEST_F(Window, closingDuringARunStopsItAfterThePageInHandThenEnds) {
  page("framec1.html");
  page("framec2.html");
  page("framec3.html");
  start();
  choose_text_then_site();
  on_confirmation = [this] { QTimer::singleShot(0, [this] { program->window().close(); }); };
  press("Command3");
  EXPECT_TRUE(ended);
  EXPECT_EQ(prompts(), Names{" Are you sure to modified 3 files"});  // no report
  EXPECT_NE(bytes("framec1.html"), "<p></p></body></html>");
  EXPECT_EQ(bytes("framec2.html"), "<p></p></body></html>");
  EXPECT_EQ(bytes("framec3.html"), "<p></p></body></html>");
}

TEST_F(Window, aLongRunShowsItsProgressAndStopEndsItButNotTheProgram) {
  const int count = 8;
  for (int i = 0; i < count; ++i) page("framec" + std::to_string(i) + ".html");
  start();
  choose_text_then_site();
  qt::QtRunProgress& progress = program->window().progress();
  auto now = std::chrono::steady_clock::now();
  progress.set_clock([&now] { return now; });
  program->window().platform().during_yield = [&] {
    now += std::chrono::milliseconds(300);
    if (progress.dialog().isVisible())
      QTest::mouseClick(progress.dialog().findChild<QPushButton*>(), Qt::LeftButton);
  };
  press("Command3");
  EXPECT_EQ(progress.times_shown(), 1);
  EXPECT_FALSE(progress.dialog().isVisible());
  EXPECT_FALSE(ended);
  // The pages up to the one in hand when Stop was pressed received the text; no other did.
  int upgraded = 0;
  while (upgraded < count &&
         bytes("framec" + std::to_string(upgraded) + ".html") != "<p></p></body></html>")
    ++upgraded;
  for (int i = upgraded; i < count; ++i)
    EXPECT_EQ(bytes("framec" + std::to_string(i) + ".html"), "<p></p></body></html>");
  EXPECT_GE(upgraded, 3);
  EXPECT_LT(upgraded, count);
  EXPECT_EQ(prompts(), (Names{" Are you sure to modified 8 files",
                              " " + std::to_string(upgraded) + " file(s) have been upgraded "}));
}

TEST_F(Window, closingWhileIdleClosesAtOnce) {
  start();
  EXPECT_TRUE(program->window().close());
  EXPECT_FALSE(ended);
}

// Real SIGTERMs, sent to the test process itself, caught as the window program catches them.
struct WatchedStopRequests {
  WatchedStopRequests() { watch_stop_requests(); }
  ~WatchedStopRequests() { forget_stop_request(); }
};

TEST_F(Window, terminationActsAsTheCloseBoxDuringARunAndWhileIdle) {
  WatchedStopRequests watched;
  page("framec1.html");
  page("framec2.html");
  start();
  choose_text_then_site();
  on_confirmation = [] { QTimer::singleShot(0, [] { std::raise(SIGTERM); }); };
  press("Command3");
  EXPECT_TRUE(ended);
  EXPECT_EQ(prompts(), Names{" Are you sure to modified 2 files"});  // no report
  EXPECT_NE(bytes("framec1.html"), "<p></p></body></html>");
  EXPECT_EQ(bytes("framec2.html"), "<p></p></body></html>");

  forget_stop_request();
  start();
  ended = false;
  std::raise(SIGTERM);
  QTRY_VERIFY(ended);
}

}  // namespace
}  // namespace qv::testing
