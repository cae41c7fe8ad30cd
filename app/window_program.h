#pragma once

#include <functional>
#include <string>
#include <vector>

#include "files/volumes.h"
#include "run/form1.h"
#include "window/qt/control_host.h"

namespace qv {

// The program's window: the Qt widgets with Form1's handlers behind them.
class WindowProgram {
 public:
  // `volumes` lists the drives the drive lists offer: by default the machine's.
  explicit WindowProgram(std::function<std::vector<Volume>()> volumes = list_volumes);

  // Opens both panes on `folder` (its drive, the folder, its files), loads the form — which clears
  // the path and count labels and reads the settings — and shows the window.
  void start(const std::string& folder);

  qt::ControlHost& window() { return window_; }
  Form1& form() { return form_; }

 private:
  qt::ControlHost window_;
  Form1 form_;
};

// The window program: creates the application and the window, opens both panes on the current
// folder, and runs until the window ends; returns the exit status.
int run_window_program(int argc, char** argv);

}  // namespace qv
