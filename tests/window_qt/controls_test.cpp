// The Qt controls on their own: what their interfaces promise and what a user's mouse and keys do.
#include <filesystem>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <QWidget>

#include "tests/support/temp_folder.h"
#include "tests/window_qt/gui_support.h"
#include "window/qt/list_controls.h"
#include "window/qt/text_controls.h"

namespace qv::testing {
namespace {

using namespace qv::qt;
using Names = std::vector<std::string>;

class QtControls : public ::testing::Test {
 protected:
  TempFolder dir;
  QWidget parent;
  int events = 0;
  std::function<void()> count = [this] { ++events; };

  void SetUp() override { parent.resize(400, 400); }
  void show() {
    parent.show();
    parent.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&parent));
  }
};

TEST_F(QtControls, fileListRebuildsOnlyForANewPathOrPatternWithNothingSelected) {
  for (const char* name : {"b.html", "A.html", "c.HTML", "d.txt", ".hidden.html"})
    dir.write(name, "");
  std::filesystem::create_directory(dir / "folder.html");
  FileListBox list("*.html", &parent);
  list.setGeometry(0, 0, 200, 200);
  list.on_click = count;
  list.set_path(dir.path());
  show();
  EXPECT_EQ(rows(list), (Names{"A.html", "b.html", "c.HTML"}));
  EXPECT_EQ(list.list_count(), 3u);
  EXPECT_EQ(list.list(1), "b.html");
  EXPECT_EQ(list.file_name(), "");

  click_row(list, "b.html");
  EXPECT_EQ(events, 1);
  EXPECT_EQ(list.file_name(), "b.html");
  list.set_path(dir.path());
  list.set_pattern("*.html");
  EXPECT_EQ(list.file_name(), "b.html");  // same values: nothing changed

  list.set_pattern("*.txt;a*");
  EXPECT_EQ(rows(list), (Names{"A.html", "d.txt"}));
  EXPECT_EQ(list.file_name(), "");
  EXPECT_EQ(events, 1);  // rebuilding raises nothing
}

TEST_F(QtControls, fileListArrowKeysMoveTheSelectionAndRaiseTheClick) {
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) dir.write(name, "");
  FileListBox list("*.txt", &parent);
  list.on_click = count;
  list.set_path(dir.path());
  show();
  click_row(list, "a.txt");
  QTest::keyClick(&list, Qt::Key_Down);
  EXPECT_EQ(list.file_name(), "b.txt");
  QTest::keyClick(&list, Qt::Key_Down);
  QTest::keyClick(&list, Qt::Key_Down);  // already at the end: no move, no event
  EXPECT_EQ(list.file_name(), "c.txt");
  EXPECT_EQ(events, 3);
}

// Large folders: every name is listed, in order (the time it takes is measured by the window
// benchmark).
TEST_F(QtControls, fileListHoldsEveryNameOfALargeFolderInOrder) {
  constexpr int kFiles = 5000;
  for (int i = 0; i < kFiles; ++i)
    ::close(
        ::open((dir / ("page" + std::to_string(i) + ".html")).c_str(), O_CREAT | O_WRONLY, 0644));
  FileListBox list("*.html", &parent);
  show();
  list.set_path(dir.path());
  QCoreApplication::processEvents();  // the first layout of the view
  ASSERT_EQ(list.list_count(), static_cast<std::size_t>(kFiles));
  EXPECT_EQ(list.list(0), "page0.html");
  EXPECT_EQ(list.list(1), "page1.html");
  EXPECT_EQ(list.list(kFiles - 1), "page999.html");
}

class QtFolderList : public QtControls {
 protected:
  void SetUp() override {
    QtControls::SetUp();
    for (const char* name : {"site/pages", "site/Beta", "site/alpha", "site/.git", "other"})
      std::filesystem::create_directories(dir / name);
    list.setGeometry(0, 0, 300, 380);
    list.on_change = count;
  }
  FolderListBox list{&parent};
};

TEST_F(QtFolderList, showsTheChainDownToTheFolderThenItsSubfolders) {
  list.set_path(dir / "site/pages/..");
  EXPECT_EQ(list.path(), dir / "site");
  EXPECT_EQ(events, 1);
  Names expected{"/"};
  for (const auto& part : std::filesystem::path(dir / "site").relative_path())
    expected.push_back(part.string());
  for (const char* sub : {"alpha", "Beta", "pages"}) expected.push_back(sub);
  EXPECT_EQ(rows(list), expected);
  list.set_path(dir / "site/");
  EXPECT_EQ(events, 1);  // the same folder
}

TEST_F(QtFolderList, aClickOnlyHighlightsADoubleClickOrEnterOpens) {
  list.set_path(dir / "site");
  show();
  click_row(list, "alpha");
  EXPECT_EQ(list.path(), dir / "site");
  double_click_row(list, "alpha");
  EXPECT_EQ(list.path(), dir / "site/alpha");
  EXPECT_EQ(events, 2);

  list.setCurrentIndex(row_named(list, "site"));
  QTest::keyClick(&list, Qt::Key_Return);
  EXPECT_EQ(list.path(), dir / "site");
  EXPECT_EQ(events, 3);
}

TEST_F(QtFolderList, aBareDriveGoesToTheLastFolderVisitedOnIt) {
  list.set_volumes({{"/", ""}, {dir.path(), ""}});
  list.set_path(dir.path());
  EXPECT_EQ(list.path(), dir.path());  // the drive's top folder: never visited before
  list.set_path(dir / "site/pages");
  list.set_path("/");
  EXPECT_EQ(list.path(), "/");
  list.set_path(dir.path());
  EXPECT_EQ(list.path(), dir / "site/pages");
  EXPECT_EQ(events, 4);
}

TEST_F(QtControls, driveListShowsLabelsGivesMountPointsAndRaisesOnlyOnAChoice) {
  DriveComboBox drives(&parent);
  drives.on_change = count;
  drives.set_volumes({{"/", ""}, {"/media/my stick", "STICK"}, {"/srv", ""}});
  EXPECT_EQ(drives.itemText(1).toStdString(), "/media/my stick [STICK]");
  EXPECT_EQ(drives.drive(), "/");
  drives.open_quietly("/media/my stick/docs");
  EXPECT_EQ(drives.drive(), "/media/my stick");
  drives.set_volumes({{"/", ""}, {"/media/my stick", "STICK"}});  // the selection stays
  EXPECT_EQ(drives.drive(), "/media/my stick");
  EXPECT_EQ(events, 0);
  show();
  QTest::keyClick(&drives, Qt::Key_Up);
  EXPECT_EQ(drives.drive(), "/");
  EXPECT_EQ(events, 1);
}

TEST_F(QtControls, textBoxesKeepTheirBytesAndRaiseTheChangeWhenTheTextChanges) {
  LineTextBox line("ab", &parent);
  line.on_change = count;
  line.set_text("ab");
  EXPECT_EQ(events, 0);
  const std::string latin1 = "caf\xe9*.htm";  // not UTF-8: shown lossily, kept exactly
  line.set_text(latin1);
  EXPECT_EQ(line.text(), latin1);
  EXPECT_EQ(events, 1);
  show();
  line.set_text("x");
  QTest::keyClicks(&line, "yz");
  EXPECT_EQ(line.text(), "xyz");
  EXPECT_EQ(events, 4);  // once from code, once per keystroke

  LabelBox label("Label", &parent);
  label.set_caption(latin1);
  EXPECT_EQ(label.caption(), latin1);
}

TEST_F(QtControls, documentTextBoxLaysOutOnlyWhatSomeoneCanSee) {
  LineTextBox focused("", &parent);
  DocumentTextBox hidden("", &parent);
  hidden.setGeometry(500, 0, 100, 100);  // beyond the parent's edge, as Text1 is
  show();
  focused.setFocus();
  const std::string page = "<p>\xff</p>\r\n" + std::string(100000, 'x') + "</body>";
  for (int i = 0; i < 3; ++i) {
    hidden.set_text(page + std::to_string(i));
    QCoreApplication::processEvents();
  }
  EXPECT_EQ(hidden.text(), page + "2");
  EXPECT_FALSE(hidden.display_current());
  EXPECT_TRUE(hidden.toPlainText().isEmpty());

  hidden.setFocus();
  QCoreApplication::processEvents();
  EXPECT_TRUE(hidden.display_current());
  EXPECT_TRUE(hidden.toPlainText().endsWith(QStringLiteral("</body>2")));
  EXPECT_EQ(hidden.text(), page + "2");  // displaying changes no byte
}

}  // namespace
}  // namespace qv::testing
