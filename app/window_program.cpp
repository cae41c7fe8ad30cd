#include "app/window_program.h"

#include <utility>

#include <QApplication>

#include "system/file_io.h"
#include "system/stop_requests.h"

namespace qv {

WindowProgram::WindowProgram(std::function<std::vector<Volume>()> volumes)
    : window_(std::move(volumes)), program_(window_) {}

void WindowProgram::start(const std::string& folder) {
  program_.start(folder);
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
