#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include "window/controls.h"
#include "window/form_events.h"

namespace qv {

// The control a binding made for one row of the control table: the interface the handlers reach
// it through (the one of its kind; a button has none) and the callback it calls on its event.
struct BoundControl {
  Label* label = nullptr;
  TextBox* text_box = nullptr;
  DriveList* drive_list = nullptr;
  FolderList* folder_list = nullptr;
  FileList* file_list = nullptr;
  std::function<void()>* event = nullptr;  // its click or change callback; null when it has none
};

// What every binding of the window shares (the Qt window, the Win32 window, the test doubles):
// the controls bound one per row of the control table, the services, and the wiring of a form's
// handlers to the controls' events as the table's `raises` column says. A binding binds each
// control as it creates it and says how it runs a handler; the rest is here, written once.
class WindowHost {
 public:
  WindowHost();
  virtual ~WindowHost() = default;
  WindowHost(const WindowHost&) = delete;
  WindowHost& operator=(const WindowHost&) = delete;

  // The controls and services, as the form's handlers reach them.
  Controls controls() const;

  // From now on each control's event raises the `form` handler the control table names.
  void connect_form(FormEvents& form);

  // Runs a handler of the connected form as the binding runs every handler (start-up raises
  // Form_Load this way); does nothing before connect_form.
  void raise(void (FormEvents::*handler)());

  // Whether the window may close now: the connected form's answer, asked as a handler; true
  // when no form is connected.
  bool query_unload();

  // Shows `folder` in both panes — drive, folder and file lists — without raising any event: the
  // window's state before its form is loaded.
  virtual void open_on(std::string_view folder) = 0;

 protected:
  // Records the control made for the table's row `name`.
  void bind(std::string_view name, BoundControl control);
  // Records the services the handlers reach besides the controls.
  void bind_services(MessageBox& message_box, Platform& platform, RunProgress& progress);
  // Runs a handler raised by an event, the way this binding runs every handler.
  virtual void run_handler(const std::function<void()>& handler) = 0;

 private:
  const BoundControl& bound(std::string_view name) const;

  std::vector<BoundControl> controls_;  // in the control table's order
  MessageBox* message_box_ = nullptr;
  Platform* platform_ = nullptr;
  RunProgress* progress_ = nullptr;
  FormEvents* form_ = nullptr;
};

}  // namespace qv
