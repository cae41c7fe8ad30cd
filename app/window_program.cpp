#include "app/window_program.h"

#include <utility>

#include <QApplication>

#include "files/file_io.h"
#include "files/stop_requests.h"

namespace qv {

WindowProgram::WindowProgram(std::function<std::vector<Volume>()> volumes)
    : window_(std::move(volumes)), form_(window_.controls()) {
  window_.connect_form(form_);
}

void WindowProgram::start(const std::string& folder) {
  // The lists show the folder before the form loads, as controls hold their first values before
  // any event: no change event runs, so the path labels stay as Form_Load leaves them, empty.
  window_.open_on(folder);
  window_.raise(&FormEvents::Form_Load);
  window_.show();
}

int run_window_program(int argc, char** argv) {
  watch_stop_requests();
  QApplication application(argc, argv);
  WindowProgram window;
  window.start(current_folder());
  return QApplication::exec();
}

}  // namespace qv
