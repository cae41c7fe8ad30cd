#pragma once

#include <string_view>

#include "run/form1.h"
#include "window/window_host.h"

namespace qv {

// The window program, whatever the binding: Form1 behind the window's controls, its handlers
// raised by their events.
class FormProgram {
 public:
  explicit FormProgram(WindowHost& window);

  // Opens both panes on `folder` (its drive, the folder, its files), then loads the form — which
  // clears the path and count labels and reads the settings.
  void start(std::string_view folder);

  Form1& form() { return form_; }

 private:
  WindowHost& window_;
  Form1 form_;
};

}  // namespace qv
