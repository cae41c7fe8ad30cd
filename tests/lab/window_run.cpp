// The window's Go over one folder, for the lab's suites: Form1 over the in-memory controls and the
// same wiring as the unit tests, the pages' folder and the text file taken from the environment,
// every message box answered with its first button (Yes to the confirmation). Prints each box's
// prompt, one per line; exits 0 when the run ended with its report, 3 when the program ended.
#include <cstdlib>
#include <iostream>
#include <string>

#include "run/form1.h"
#include "tests/support/fake_controls.h"
#include "text/path.h"

int main() {
  const char* site = std::getenv("QV_LAB_SITE");
  const char* text = std::getenv("QV_LAB_TEXT");
  if (site == nullptr || text == nullptr) {
    std::cerr << "usage: QV_LAB_SITE=FOLDER QV_LAB_TEXT=FILE lab_window_run\n";
    return 2;
  }
  qv::testing::FakeWindow w;
  qv::Form1 form{w.controls()};
  w.connect_form(form);
  w.platform.app_folder = "/nonexistent-app-folder/";  // no settings file: the defaults
  int status = 0;
  try {
    form.Form_Load();
    const std::string text_path = text;
    w.Dir2.set_path(qv::folder_of(text_path));
    for (std::size_t i = 0; i < w.File2.list_count(); ++i)
      if (qv::folder_join(qv::folder_of(text_path), w.File2.list(i)) == text_path) w.File2.click(i);
    w.Dir1.set_path(site);
    w.masque.set_text("*.html");
    form.Command3_Click();
  } catch (const qv::testing::ProgramEnded&) {
    status = 3;
  }
  for (const auto& box : w.message_box.shown) std::cout << box.prompt << '\n';
  return status;
}
