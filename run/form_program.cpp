#include "run/form_program.h"

namespace qv {

FormProgram::FormProgram(WindowHost& window) : window_(window), form_(window.controls()) {
  window_.connect_form(form_);
}

void FormProgram::start(std::string_view folder) {
  // The lists show the folder before the form loads, as controls hold their first values before
  // any event: no change event runs, so the path labels stay as Form_Load leaves them, empty.
  window_.open_on(folder);
  window_.raise(&FormEvents::Form_Load);
}

}  // namespace qv
