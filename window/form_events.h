#pragma once

namespace qv {

// The window's events, as a binding raises them. Each handler is named after its control and
// event; setting a control's value from inside a handler raises that control's event at once.
class FormEvents {
 public:
  virtual ~FormEvents() = default;
  virtual void Form_Load() = 0;
  virtual void Command1_Click() = 0;
  virtual void Command2_Click() = 0;
  virtual void Command3_Click() = 0;
  virtual void Command4_Click() = 0;
  virtual void Command5_Click() = 0;
  virtual void Dir1_Change() = 0;
  virtual void Dir2_Change() = 0;
  virtual void Drive1_Change() = 0;
  virtual void Drive2_Change() = 0;
  virtual void File1_Click() = 0;
  virtual void File2_Click() = 0;
  virtual void masque_Change() = 0;
  // The user asks to close the window. Returns true when it may close now; false while a run is
  // in progress, which then stops after the page in hand and ends the program.
  virtual bool Form_QueryUnload() = 0;
};

}  // namespace qv
