#pragma once

#include <string>

#include "window/win32/win32.h"

namespace qv::win32 {

// A child control of the window: its handle, the notifications its parent forwards to it, and,
// for controls that need it, its own messages before the system's class sees them.
class ChildControl {
 public:
  explicit ChildControl(HWND hwnd) : hwnd_(hwnd) {}
  virtual ~ChildControl() = default;
  ChildControl(const ChildControl&) = delete;
  ChildControl& operator=(const ChildControl&) = delete;

  HWND hwnd() const { return hwnd_; }

  // A WM_COMMAND notification code the control sent to its parent.
  virtual void notify(WORD /*code*/) {}

 protected:
  // Routes the control's messages through handle() from now on.
  void subclass();
  // The control's own messages; by default the system's class handles them.
  virtual LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
  // The system's class's handling of a message.
  LRESULT original(UINT message, WPARAM wparam, LPARAM lparam);

  // The control's text as UTF-8, and setting it from UTF-8 (or legacy) bytes.
  std::string window_text() const;
  void set_window_text(std::string_view bytes);

  HWND hwnd_;

 private:
  static LRESULT CALLBACK subclass_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  WNDPROC original_ = nullptr;
};

}  // namespace qv::win32
