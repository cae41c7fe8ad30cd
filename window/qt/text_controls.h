#pragma once

// Buttons, labels and text boxes of the Qt window. Each keeps the bytes it was given and decodes
// them only to display them. Events are plain callbacks, called synchronously.

#include <functional>
#include <string>
#include <string_view>

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "window/controls.h"

namespace qv::qt {

// Bytes of the local encoding (UTF-8 under Qt 6 on Linux) as displayed text, and back: the one
// decoder of names, captions and prompts for display.
QString to_display(std::string_view bytes);
std::string from_display(const QString& text);

// A command button: a mouse click, Space or Enter while it has the focus presses it.
class CommandButton : public QPushButton {
 public:
  CommandButton(const QString& caption, QWidget* parent);
  std::function<void()> on_click;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

// How a label shows a caption wider than itself.
enum class Elision {
  none,    // cut at the right edge
  middle,  // "…" in the middle, so both ends stay visible; the whole caption is the tool tip
};

// A label showing its caption as plain text, top-left aligned. Its text (for the accessibility
// tools too) is always the whole caption, whatever it draws.
class LabelBox : public QLabel, public Label {
 public:
  LabelBox(std::string_view caption, QWidget* parent);
  std::string caption() const override { return caption_; }
  void set_caption(std::string_view caption) override;

  void set_elision(Elision elision);
  // The caption as drawn at the label's present width.
  QString drawn_text() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::string caption_;
  Elision elision_ = Elision::none;
};

// A one-line text box. Setting a different text from code raises the change event at once; so
// does every edit the user makes.
class LineTextBox : public QLineEdit, public TextBox {
 public:
  LineTextBox(std::string_view text, QWidget* parent);
  std::string text() const override { return text_; }
  void set_text(std::string_view text) override;
  std::function<void()> on_change;

 private:
  std::string text_;
};

// A multi-line text box that may be given a whole page many times a second while nobody looks at
// it. It keeps the bytes at once and lays the document out only when someone can see it (it is
// visible on screen, or receives the keyboard focus), or when asked to (`display`): it starts
// displaying its first text, and the window asks again once a run is over, so that the text is
// there for the accessibility tools too.
class DocumentTextBox : public QPlainTextEdit, public TextBox {
 public:
  DocumentTextBox(std::string_view text, QWidget* parent);
  std::string text() const override { return text_; }
  void set_text(std::string_view text) override;
  std::function<void()> on_change;

  // True when the displayed document shows the current bytes.
  bool display_current() const { return displayed_; }
  // Lays the document out for the current bytes now, unless it already shows them.
  void display();

 protected:
  void focusInEvent(QFocusEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void schedule_display();
  std::string text_;
  bool displayed_ = false;
  bool display_pending_ = false;
  bool displaying_ = false;
};

}  // namespace qv::qt
