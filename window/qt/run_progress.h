#pragma once

#include <cstddef>
#include <string_view>

#include <QDialog>

#include "window/controls.h"
#include "window/progress_pacing.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace qv::qt {

class LabelBox;

// The progress of a run: a dialog owned by the window, shown as ProgressPacing says, with the page
// in hand (its number and name), a bar, and a Stop button. It shows what the run tells it, between
// pages; it never waits, so the window keeps handling its events.
class QtRunProgress final : public RunProgress {
 public:
  explicit QtRunProgress(QWidget* window);

  void begin(std::size_t count, std::string_view title) override;
  void page(std::size_t index, std::string_view name) override;
  bool stop_requested() const override { return stop_requested_; }
  void end() override;

  // The dialog (hidden outside long runs) and how many runs have shown it (tests).
  QDialog& dialog() { return *dialog_; }
  int times_shown() const { return times_shown_; }
  // Reads `clock` for the pacing from now on (tests).
  void set_clock(SteadyClock clock) { pacing_.set_clock(std::move(clock)); }

 private:
  void stop();

  QDialog* dialog_;  // owned by the window
  QLabel* count_;
  LabelBox* name_;
  QProgressBar* bar_;
  QPushButton* stop_button_;
  ProgressPacing pacing_;
  std::size_t total_ = 0;
  bool stop_requested_ = false;
  int times_shown_ = 0;
};

}  // namespace qv::qt
