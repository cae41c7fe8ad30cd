#pragma once

#include "window/controls.h"
#include "window/form_events.h"
#include "window/form_state.h"

namespace qv {

// The window half of Form1: its state, start-up, the "End" button and the handlers that keep the
// two browsing panes, the path labels and the pattern in step. The run handlers are added by
// Form1 (run/form1.h).
class FormWindow : public FormEvents {
 public:
  explicit FormWindow(const Controls& controls) : c_(controls) {}

  // Start-up: clears the path and count labels, resets the count and reads the settings; says so
  // when the settings file exists but cannot be read, and goes on with the defaults.
  void Form_Load() override;
  // "End": ends the program at once.
  void Command5_Click() override;
  // "Clear pattern": lists every file of the left pane's folder again.
  void Command4_Click() override;

  // Left pane: a drive, a folder or a page was chosen, or the pattern box was edited.
  void Drive1_Change() override;
  void Dir1_Change() override;
  void File1_Click() override;
  void masque_Change() override;

  // Right pane: a drive, a folder or a text file was chosen.
  void Drive2_Change() override;
  void Dir2_Change() override;
  void File2_Click() override;

  FormState& state() { return state_; }
  const FormState& state() const { return state_; }

 protected:
  const Controls c_;
  FormState state_;
};

}  // namespace qv
