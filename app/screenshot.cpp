// Renders the program's window, as it opens on the current folder, into a PNG file, without a
// display (QT_QPA_PLATFORM=offscreen). Used by tools/screenshot.sh for the documentation.
// Usage: quorvane-screenshot OUTPUT.png
#include <cstdio>

#include <QApplication>
#include <QPixmap>

#include "app/window_program.h"
#include "system/file_io.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
    return 2;
  }
  QApplication application(argc, argv);
  qv::WindowProgram window([] { return std::vector<qv::Volume>{{"/", ""}}; });
  window.start(qv::current_folder());
  QApplication::processEvents();
  if (!window.window().grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
