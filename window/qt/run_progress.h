#pragma once

#include <cstddef>
#include <string_view>

#include <QDialog>
#include <QElapsedTimer>

#include "window/controls.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace qv::qt {

class LabelBox;

// The progress of a run: a dialog owned by the window, shown only once the run has lasted about
// a second, with the page in hand (its number and name), a bar, and a Stop button. It shows what
// the run tells it, between pages; it never waits, so the window keeps handling its events.
class QtRunProgress final : public RunProgress {
 public:
  explicit QtRunProgress(QWidget* window);

  void begin(std::size_t count) override;
  void page(std::size_t index, std::string_view name) override;
  bool stop_requested() const override { return stop_requested_; }
  void end() override;

  // The dialog (hidden outside long runs) and how many runs have shown it (tests).
  QDialog& dialog() { return *dialog_; }
  int times_shown() const { return times_shown_; }

 private:
  void stop();

  QDialog* dialog_;  // owned by the window
  QLabel* count_;
  LabelBox* name_;
  QProgressBar* bar_;
  QPushButton* stop_button_;
  QElapsedTimer clock_;
  qint64 last_update_ = 0;  // when the shown page last changed, on clock_
  std::size_t total_ = 0;
  bool stop_requested_ = false;
  int times_shown_ = 0;
};

}  // namespace qv::qt
