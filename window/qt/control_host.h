#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <QWidget>

#include "files/volumes.h"
#include "window/controls.h"
#include "window/form_events.h"
#include "window/qt/handler_gate.h"
#include "window/qt/message_box.h"
#include "window/qt/platform.h"
#include "window/qt/run_progress.h"

namespace qv::qt {

class CommandButton;
class DocumentTextBox;
class DriveComboBox;
class FileListBox;
class FolderListBox;
class LabelBox;
class LineTextBox;

// The window: one widget per row of the control table, placed and captioned as the table says,
// reached with Tab in the table's order. It owns the widgets, the message box and the platform
// services, hands them out as Controls, and raises a form's handlers from the widgets' events.
class ControlHost : public QWidget {
 public:
  // `volumes` lists the drives the drive lists offer.
  explicit ControlHost(std::function<std::vector<Volume>()> volumes = list_volumes);
  ~ControlHost() override;

  // The controls and services, as the form's handlers reach them.
  Controls controls();

  // Raises `form`'s handlers from the controls' events, and asks it whether the window may close.
  void connect_form(FormEvents& form);

  // Shows `folder` in both panes — drive, folder and file lists — without raising any event: the
  // window's state before its form is loaded.
  void open_on(std::string_view folder);

  // Runs a handler of the connected form through the gate (start-up raises Form_Load this way).
  void raise(void (FormEvents::*handler)());

  HandlerGate& gate() { return gate_; }
  QtMessageBox& message_box() { return message_box_; }
  QtPlatform& platform() { return platform_; }
  QtRunProgress& progress() { return progress_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  template <typename Control>
  Control& named(std::string_view name) const;
  void refresh_volumes();

  HandlerGate gate_;
  QtMessageBox message_box_;
  QtPlatform platform_;
  QtRunProgress progress_;
  std::function<std::vector<Volume>()> volumes_;
  FormEvents* form_ = nullptr;
};

}  // namespace qv::qt
