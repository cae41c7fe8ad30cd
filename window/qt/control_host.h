#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <QWidget>

#include "system/volumes.h"
#include "window/controls.h"
#include "window/form_events.h"
#include "window/qt/handler_gate.h"
#include "window/qt/message_box.h"
#include "window/qt/platform.h"
#include "window/qt/run_progress.h"
#include "window/window_host.h"

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
// services; WindowHost hands them out and raises a form's handlers from the widgets' events, each
// through the gate.
class ControlHost : public QWidget, public WindowHost {
 public:
  // `volumes` lists the drives the drive lists offer.
  explicit ControlHost(std::function<std::vector<Volume>()> volumes = list_volumes);
  ~ControlHost() override;

  HandlerGate& gate() { return gate_; }
  QtMessageBox& message_box() { return message_box_; }
  QtPlatform& platform() { return platform_; }
  QtRunProgress& progress() { return progress_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void run_handler(const std::function<void()>& handler) override;

 private:
  template <typename Control>
  Control& named(std::string_view name) const;
  void start_stop_watch();

  HandlerGate gate_;
  QtMessageBox message_box_;
  QtPlatform platform_;
  QtRunProgress progress_;
};

}  // namespace qv::qt
