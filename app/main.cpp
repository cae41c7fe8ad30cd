// Insert text in HTML files: the window program. It reads no command-line option; both panes open
// on the current folder.
#include <filesystem>
#include <system_error>

#include <QApplication>

#include "app/program_window.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  std::error_code error;
  std::filesystem::path folder = std::filesystem::current_path(error);
  qv::ProgramWindow window;
  window.start(error ? std::string("/") : folder.string());
  return QApplication::exec();
}
