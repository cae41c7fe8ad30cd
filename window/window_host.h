#pragma once

#include <functional>
#include <string_view>
#include <type_traits>
#include <vector>

#include "system/volumes.h"
#include "window/controls.h"
#include "window/form_events.h"

namespace qv {

// A drive or folder list as the window opens and as the machine's volumes change.
class PaneList {
 public:
  virtual ~PaneList() = default;
  // The machine's volumes, given again whenever they may have changed.
  virtual void set_volumes(const std::vector<Volume>& volumes) = 0;
  // Shows `folder` (a drive list: the drive that holds it) without raising the change event.
  virtual void open_quietly(std::string_view folder) = 0;
};

// The control a binding made for one row of the control table: the interface the handlers reach
// it through (the one of its kind; a button has none) and the callback it calls on its event.
struct BoundControl {
  Label* label = nullptr;
  TextBox* text_box = nullptr;
  DriveList* drive_list = nullptr;
  FolderList* folder_list = nullptr;
  FileList* file_list = nullptr;
  PaneList* pane = nullptr;                // a drive or folder list
  std::function<void()>* event = nullptr;  // its click or change callback; null when it has none
  std::function<void()>* before_popup = nullptr;  // a drive list's, before it drops down
};

// How the handlers reach `control`, from the interfaces it implements and the callbacks it has
// (`on_click` or `on_change` for its event, `before_popup`).
template <typename Control>
BoundControl bound_to(Control& control) {
  BoundControl bound;
  if constexpr (std::is_base_of_v<Label, Control>) bound.label = &control;
  if constexpr (std::is_base_of_v<TextBox, Control>) bound.text_box = &control;
  if constexpr (std::is_base_of_v<DriveList, Control>) bound.drive_list = &control;
  if constexpr (std::is_base_of_v<FolderList, Control>) bound.folder_list = &control;
  if constexpr (std::is_base_of_v<FileList, Control>) bound.file_list = &control;
  if constexpr (std::is_base_of_v<PaneList, Control>) bound.pane = &control;
  if constexpr (requires { control.on_click; }) bound.event = &control.on_click;
  if constexpr (requires { control.on_change; }) bound.event = &control.on_change;
  if constexpr (requires { control.before_popup; }) bound.before_popup = &control.before_popup;
  return bound;
}

// What every binding of the window shares (the Qt window, the Win32 window, the test doubles):
// the controls bound one per row of the control table, the services, and the wiring of a form's
// handlers to the controls' events as the table's `raises` column says. A binding binds each
// control as it creates it and says how it runs a handler; the rest is here, written once.
class WindowHost {
 public:
  // `volumes` lists the drives the drive lists offer.
  explicit WindowHost(std::function<std::vector<Volume>()> volumes = list_volumes);
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
  void open_on(std::string_view folder);

 protected:
  // Records the control made for the table's row `name`.
  void bind(std::string_view name, BoundControl control);
  // Records the services the handlers reach besides the controls.
  void bind_services(MessageBox& message_box, Platform& platform, RunProgress& progress);
  // Gives the drive and folder lists the machine's volumes, now and each time a drive list drops
  // down (a volume mounted since then shows up). Call once every control is bound.
  void watch_volumes();
  // Runs a handler raised by an event, the way this binding runs every handler.
  virtual void run_handler(const std::function<void()>& handler) = 0;

 private:
  const BoundControl& bound(std::string_view name) const;
  void refresh_volumes();

  std::function<std::vector<Volume>()> volumes_;
  std::vector<BoundControl> controls_;  // in the control table's order
  MessageBox* message_box_ = nullptr;
  Platform* platform_ = nullptr;
  RunProgress* progress_ = nullptr;
  FormEvents* form_ = nullptr;
};

}  // namespace qv
