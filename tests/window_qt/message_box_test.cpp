// The real Qt message box, answered by a timer that finds it on screen and presses its keys or
// buttons as a user would.
#include "window/qt/message_box.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace qv::testing {
namespace {

using qv::qt::QtMessageBox;

struct SeenBox {
  std::string title;
  std::string text;
  std::vector<std::string> buttons;  // left to right
  std::string default_button;
  bool icon = true;
  bool close_box = true;
};

// Shows a box and, once it is on screen, records what it looks like and lets `act` answer it.
class RealMessageBox : public ::testing::Test {
 protected:
  QtMessageBox box;
  SeenBox seen;

  int show(std::string_view prompt, Buttons buttons, const std::function<void(QMessageBox&)>& act) {
    std::function<void()> poll = [&, act] {
      auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (shown == nullptr || shown->objectName() != QtMessageBox::kObjectName) {
        QTimer::singleShot(10, poll);
        return;
      }
      record(*shown);
      act(*shown);
    };
    QTimer::singleShot(0, poll);
    return box.show(prompt, buttons, " Insert text in HTML");
  }

  void record(QMessageBox& shown) {
    seen.title = shown.windowTitle().toStdString();
    seen.text = shown.text().toStdString();
    const QList<QAbstractButton*> listed = shown.buttons();
    std::vector<QAbstractButton*> buttons(listed.begin(), listed.end());
    std::sort(buttons.begin(), buttons.end(), [](auto* a, auto* b) {
      return a->mapToGlobal(QPoint()).x() < b->mapToGlobal(QPoint()).x();
    });
    for (auto* button : buttons) seen.buttons.push_back(button->text().toStdString());
    if (shown.defaultButton() != nullptr)
      seen.default_button = shown.defaultButton()->text().toStdString();
    seen.icon = shown.icon() != QMessageBox::NoIcon;
    seen.close_box = shown.windowFlags().testFlag(Qt::WindowCloseButtonHint);
  }

  static std::function<void(QMessageBox&)> press(const char* caption) {
    return [caption](QMessageBox& shown) {
      for (auto* button : shown.buttons())
        if (button->text() == QString::fromUtf8(caption)) button->click();
    };
  }
  static void escape(QMessageBox& shown) { QTest::keyClick(&shown, Qt::Key_Escape); }
};

TEST_F(RealMessageBox, showsPromptTitleAndButtonsInOrderAndGivesTheirCodes) {
  EXPECT_EQ(show(" Are you sure to modified 2 files", Buttons::yes_no, press("No")), answer::no);
  EXPECT_EQ(seen.title, " Insert text in HTML");
  EXPECT_EQ(seen.text, " Are you sure to modified 2 files");
  EXPECT_EQ(seen.buttons, (std::vector<std::string>{"Yes", "No"}));
  EXPECT_EQ(seen.default_button, "Yes");
  EXPECT_FALSE(seen.icon);
  EXPECT_FALSE(seen.close_box);

  seen = {};
  EXPECT_EQ(show(" BAD TAG 3 files", Buttons::cancel_try_continue, press("Continue")),
            answer::continue_);
  EXPECT_EQ(seen.buttons, (std::vector<std::string>{"Cancel", "Try Again", "Continue"}));
  EXPECT_EQ(seen.default_button, "Cancel");
  EXPECT_EQ(show("x", Buttons::cancel_try_continue, press("Try Again")), answer::try_again);
  EXPECT_EQ(show("x", Buttons::ok_cancel, press("OK")), answer::ok);
}

TEST_F(RealMessageBox, escapeAndTheCloseBoxCancelOrAreRefusedForYesNo) {
  EXPECT_EQ(show("x", Buttons::ok, escape), answer::ok);
  EXPECT_EQ(show("x", Buttons::ok_cancel, escape), answer::cancel);
  EXPECT_EQ(show("x", Buttons::cancel_try_continue, [](QMessageBox& shown) { shown.close(); }),
            answer::cancel);
  EXPECT_EQ(show("x", Buttons::yes_no,
                 [](QMessageBox& shown) {
                   escape(shown);
                   shown.close();
                   EXPECT_TRUE(shown.isVisible());
                   press("Yes")(shown);
                 }),
            answer::yes);
  EXPECT_EQ(
      show("x", Buttons::ok, [](QMessageBox& shown) { QTest::keyClick(&shown, Qt::Key_Return); }),
      answer::ok);
}

TEST_F(RealMessageBox, queuedAnswersAreGivenWithoutShowingAnything) {
  box.answer_next(answer::no);
  std::vector<std::string> prompts;
  box.on_show = [&](std::string_view prompt, Buttons, std::string_view) -> std::optional<int> {
    prompts.emplace_back(prompt);
    return std::nullopt;
  };
  EXPECT_EQ(box.show("first", Buttons::yes_no, "t"), answer::no);
  box.on_show = [](std::string_view, Buttons, std::string_view) { return answer::cancel; };
  EXPECT_EQ(box.show("second", Buttons::ok_cancel, "t"), answer::cancel);
  EXPECT_EQ(prompts, std::vector<std::string>{"first"});
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace qv::testing
