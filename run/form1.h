#pragma once

#include <string>

#include "window/browsing_panes.h"
#include "window/controls.h"
#include "window/form_events.h"
#include "window/form_state.h"

namespace qv {

class BatchObserver;

// The tool's one window: its state, the browsing handlers (handed to BrowsingPanes) and the run —
// loading the text to insert, inserting it into every listed page, and the "Go" command that
// confirms and reports.
class Form1 : public FormEvents {
 public:
  // `observer`, when given, watches the runs' page loop (tests) and must outlive the form.
  explicit Form1(const Controls& controls, BatchObserver* observer = nullptr)
      : c_(controls), panes_(c_, state_), observer_(observer) {}

  // Start-up, "End", "Clear pattern" and the browsing panes: see BrowsingPanes.
  void Form_Load() override { panes_.Form_Load(); }
  void Command5_Click() override { panes_.Command5_Click(); }
  void Command4_Click() override { panes_.Command4_Click(); }
  void Drive1_Change() override { panes_.Drive1_Change(); }
  void Dir1_Change() override { panes_.Dir1_Change(); }
  void File1_Click() override { panes_.File1_Click(); }
  void masque_Change() override { panes_.masque_Change(); }
  void Drive2_Change() override { panes_.Drive2_Change(); }
  void Dir2_Change() override { panes_.Dir2_Change(); }
  void File2_Click() override { panes_.File2_Click(); }

  // Inserts `text`, framed by CR LF on each side, before the last occurrence of `tag` in
  // `content` and counts the page; leaves `content` as it is when the tag does not occur. Text1
  // then shows the result.
  void ajout_quorvane(std::string& content, const std::string& tag, const std::string& text);

  // Returns when `text` contains `marker`; otherwise says so and ends the program.
  void verif(const std::string& text, const std::string& marker);

  // Loads the text to insert from the file whose path Label3 holds.
  void Command1_Click() override;
  // Inserts the loaded text into every page of File1 and rewrites the pages that received it.
  void Command2_Click() override;
  // "Go": refuses an empty tag, asks for confirmation, runs, and reports the count.
  void Command3_Click() override;
  // Lets the window close at once, or, during a run, after the page in hand has been written.
  bool Form_QueryUnload() override;

  // True while Command2_Click is walking the pages.
  bool run_in_progress() const { return run_ != RunState::idle; }

  FormState& state() { return state_; }
  const FormState& state() const { return state_; }

 private:
  class RunEditor;
  const Controls c_;
  FormState state_;
  BrowsingPanes panes_;
  enum class RunState { idle, running, closing };
  RunState run_ = RunState::idle;
  BatchObserver* observer_;
};

}  // namespace qv
