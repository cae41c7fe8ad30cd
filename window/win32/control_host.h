#pragma once

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "system/volumes.h"
#include "window/controls.h"
#include "window/form_events.h"
#include "window/win32/message_box.h"
#include "window/win32/run_progress.h"
#include "window/win32/win32.h"
#include "window/window_host.h"

namespace qv::win32 {

class ChildControl;
class ControlHost;

// The platform services over Win32: one pass over the pending messages, the program's end and the
// executable's folder.
class Win32Platform : public Platform {
 public:
  explicit Win32Platform(ControlHost& window) : window_(window) {}
  std::string application_folder() const override;
  void yield() override;
  [[noreturn]] void end() override;

 private:
  ControlHost& window_;
};

// The window: one child control per row of the control table, created in the table's order at
// the table's places (twips converted for the screen's resolution), reached with Tab in the
// table's tab order. It owns the controls, the message box and the platform services;
// WindowHost hands them out and raises a form's handlers from the controls' notifications.
class ControlHost : public WindowHost {
 public:
  // Control identifiers: the control table's row number plus this, clear of IDOK and IDCANCEL.
  static constexpr int kFirstControlId = 100;

  // `volumes` lists the drives the drive lists offer.
  explicit ControlHost(std::function<std::vector<Volume>()> volumes = list_volumes);
  ~ControlHost() override;

  HWND hwnd() const { return hwnd_; }

  // Shows the window, Drive1 holding the keyboard focus.
  void show(int show_command);

  // Handles the window's messages until it is closed; returns the exit status.
  int run();

  // Handles the messages waiting now, then returns.
  void pump_pending();

 protected:
  // Runs a handler; once the outermost one returns, Text1 shows the last text handled.
  void run_handler(const std::function<void()>& handler) override;

 private:
  static LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
  bool dispatch(MSG& message);
  void create_controls();
  int pixels(int twips) const { return MulDiv(twips, dpi_, 1440); }
  // Keeps the control made for the table's row `name`, bound for the handlers.
  template <typename Control>
  void adopt(std::string_view name, std::unique_ptr<Control> control);
  template <typename Control>
  Control& named(std::string_view name) const;
  void close();

  HWND hwnd_ = nullptr;
  HFONT font_ = nullptr;
  int dpi_ = 96;
  int row_height_ = 16;  // of the folder lists' rows, in pixels
  Win32MessageBox message_box_;
  Win32Platform platform_;
  Win32RunProgress progress_;
  std::vector<std::unique_ptr<ChildControl>> children_;  // in the control table's order
  HWND focus_ = nullptr;  // the control that had the focus when the window was deactivated
  int handlers_running_ = 0;
};

}  // namespace qv::win32
