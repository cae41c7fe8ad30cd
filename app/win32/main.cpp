// Insert text in HTML files: the Windows window program. It reads no command-line option; both
// panes open on the current folder.
#include "run/form1.h"
#include "window/win32/control_host.h"
#include "window/win32/list_controls.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show_command) {
  qv::win32::ControlHost window;
  qv::Form1 form(window.controls());
  window.connect_form(form);
  // The lists show the folder before the form loads, as controls hold their first values before
  // any event: no change event runs, so the path labels stay as Form_Load leaves them, empty.
  window.open_on(qv::win32::full_folder("."));
  window.raise(&qv::FormEvents::Form_Load);
  window.show(show_command);
  return window.run();
}
