#pragma once

#include "window/controls.h"
#include "window/form_state.h"

namespace qv {

// The browsing half of Form1: start-up, the "End" and "Clear pattern" buttons and the handlers
// that keep the two browsing panes, the path labels and the pattern in step. It works on the
// controls and the form state it is given; Form1 (run/form1.h) owns both and adds the run.
class BrowsingPanes {
 public:
  BrowsingPanes(const Controls& controls, FormState& state) : c_(controls), state_(state) {}

  // Start-up: clears the path and count labels, resets the count and reads the settings; says so
  // when the settings file exists but cannot be read, and goes on with the defaults.
  void Form_Load();
  // "End": ends the program at once.
  void Command5_Click();
  // "Clear pattern": lists every file of the left pane's folder again.
  void Command4_Click();

  // Left pane: a drive, a folder or a page was chosen, or the pattern box was edited.
  void Drive1_Change();
  void Dir1_Change();
  void File1_Click();
  void masque_Change();

  // Right pane: a drive, a folder or a text file was chosen.
  void Drive2_Change();
  void Dir2_Change();
  void File2_Click();

 private:
  const Controls c_;
  FormState& state_;
};

}  // namespace qv
