#pragma once

// Buttons, labels and text boxes of the Win32 window. Each keeps the bytes it was given and
// converts them only to display them. Events are plain callbacks, called synchronously.

#include <functional>
#include <string>
#include <string_view>

#include "window/controls.h"
#include "window/win32/child_control.h"

namespace qv::win32 {

// A push button: a mouse click or Space presses it; so does Enter while it has the focus (the
// window forwards Enter to it).
class CommandButton : public ChildControl {
 public:
  using ChildControl::ChildControl;
  void notify(WORD code) override;
  // Presses the button from the keyboard.
  void press();
  std::function<void()> on_click;
};

// A static control showing its caption as plain text (no access-key prefix).
class LabelControl : public ChildControl, public Label {
 public:
  LabelControl(HWND hwnd, std::string_view caption);
  std::string caption() const override { return caption_; }
  void set_caption(std::string_view caption) override;

 private:
  std::string caption_;
};

// An edit control. Setting a different text from code raises the change event at once; so does
// every edit the user makes.
//
// A multi-line box may be given a whole page many times a second while nobody looks at it (Text1
// lies outside the client area): it keeps the bytes at once and hands them to the edit control
// only when the box receives the keyboard focus, or when asked to (`display`): the window asks
// once its handlers are done, so that the box then shows the last text handled.
class EditBox : public ChildControl, public TextBox {
 public:
  enum class Lines { one, many };
  EditBox(HWND hwnd, std::string_view text, Lines lines);
  std::string text() const override { return text_; }
  void set_text(std::string_view text) override;
  void notify(WORD code) override;
  std::function<void()> on_change;

  // True when the edit control shows the current bytes.
  bool display_current() const { return displayed_; }
  // Hands the current bytes to the edit control now, unless it shows them already.
  void display();

 protected:
  LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  std::string text_;
  Lines lines_;
  bool displayed_ = false;
  bool displaying_ = false;
};

}  // namespace qv::win32
