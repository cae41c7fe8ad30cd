#pragma once

#include <functional>
#include <string>
#include <vector>

#include "run/form_program.h"
#include "system/volumes.h"
#include "window/qt/control_host.h"

namespace qv {

// The program's window: the Qt widgets with Form1's handlers behind them.
class WindowProgram {
 public:
  // `volumes` lists the drives the drive lists offer: by default the machine's.
  explicit WindowProgram(std::function<std::vector<Volume>()> volumes = list_volumes);

  // Opens both panes on `folder`, loads the form (see FormProgram::start) and shows the window.
  void start(const std::string& folder);

  qt::ControlHost& window() { return window_; }
  Form1& form() { return program_.form(); }

 private:
  qt::ControlHost window_;
  FormProgram program_;
};

// The window program: creates the application and the window, opens both panes on the current
// folder, and runs until the window ends; returns the exit status.
int run_window_program(int argc, char** argv);

}  // namespace qv
