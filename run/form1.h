#pragma once

#include <string>

#include "window/form_window.h"

namespace qv {

// The tool's one window: the window's own handlers plus the run — loading the text to insert,
// inserting it into every listed page, and the "Go" command that confirms and reports.
class Form1 : public FormWindow {
 public:
  using FormWindow::FormWindow;

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

 private:
  class RunEditor;
  enum class RunState { idle, running, closing };
  RunState run_ = RunState::idle;
};

}  // namespace qv
