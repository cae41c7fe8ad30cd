// Window benchmarks, off-screen (QT_QPA_PLATFORM=offscreen), driven through the real Qt window and
// Form1 as a user drives them; bench/compare.py runs it on fresh copies and compares.
//
//   window_bench list FOLDER          seconds to fill File1 with FOLDER's pages (Dir1 moved there,
//                                     the list rebuilt and the window painted once)
//   window_bench go FOLDER TEXT_FILE  seconds of a Go run over every page of FOLDER, from the press
//                                     to the report (confirmation answered Yes), then the count
//
// Prints "seconds [count]" on standard output.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include <QApplication>

#include "app/window_program.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The window on `folder`, shown and painted, with File1 listing every page (the pattern typed
// into the pattern box, as a user does).
void start(qv::WindowProgram& window, const std::string& folder) {
  window.start(folder);
  window.window().controls().masque.set_text("*.html");
  QApplication::processEvents();
}

int list(const std::string& folder) {
  qv::WindowProgram window([] { return std::vector<qv::Volume>{{"/", ""}}; });
  start(window, "/");
  const Clock::time_point begin = Clock::now();
  window.window().controls().Dir1.set_path(folder);
  window.window().repaint();
  QApplication::processEvents();
  const double elapsed = seconds_since(begin);
  std::printf("%.6f %zu\n", elapsed, window.window().controls().File1.list_count());
  return 0;
}

int go(const std::string& folder, const std::string& text_file) {
  qv::WindowProgram window([] { return std::vector<qv::Volume>{{"/", ""}}; });
  start(window, folder);
  qv::Controls controls = window.window().controls();
  controls.Label3.set_caption(text_file);  // what a click on the text file in File2 leaves
  qv::qt::QtMessageBox& box = window.window().message_box();
  std::string report;
  box.on_show = [&report](std::string_view prompt, qv::Buttons buttons,
                          std::string_view) -> std::optional<int> {
    if (buttons == qv::Buttons::yes_no) return 6;  // Yes
    report = prompt;
    return 1;
  };
  const Clock::time_point begin = Clock::now();
  window.window().raise(&qv::FormEvents::Command3_Click);
  const double elapsed = seconds_since(begin);
  std::printf("%.6f %s\n", elapsed, report.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc == 3 && std::strcmp(argv[1], "list") == 0) return list(argv[2]);
  if (argc == 4 && std::strcmp(argv[1], "go") == 0) return go(argv[2], argv[3]);
  std::fprintf(stderr, "usage: window_bench list FOLDER | go FOLDER TEXT_FILE\n");
  return 2;
}
