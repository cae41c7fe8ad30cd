// Insert text in HTML files: the Windows window program. It reads no command-line option; both
// panes open on the current folder.
#include "run/form_program.h"
#include "window/win32/control_host.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show_command) {
  qv::win32::ControlHost window;
  qv::FormProgram program(window);
  program.start(".");
  window.show(show_command);
  return window.run();
}
