#include "window/qt/run_progress.h"

#include <algorithm>
#include <climits>
#include <functional>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "window/qt/text_controls.h"

namespace qv::qt {
namespace {

// The dialog's close box and Escape ask for the stop, as the button does; only the end of the
// run hides it.
class ProgressDialog : public QDialog {
 public:
  using QDialog::QDialog;
  std::function<void()> on_stop;

 protected:
  void reject() override {
    if (on_stop) on_stop();
  }
};

}  // namespace

QtRunProgress::QtRunProgress(QWidget* window) {
  auto* dialog = new ProgressDialog(window);
  dialog_ = dialog;
  dialog_->setObjectName(QStringLiteral("qv_run_progress"));
  dialog_->setModal(false);
  count_ = new QLabel(dialog_);
  name_ = new LabelBox("", dialog_);
  name_->set_elision(Elision::middle);
  name_->setMinimumWidth(320);
  bar_ = new QProgressBar(dialog_);
  stop_button_ = new QPushButton(QStringLiteral("Stop"), dialog_);
  auto* layout = new QVBoxLayout(dialog_);
  layout->addWidget(count_);
  layout->addWidget(name_);
  layout->addWidget(bar_);
  layout->addWidget(stop_button_, 0, Qt::AlignRight);
  dialog->on_stop = [this] { stop(); };
  QObject::connect(stop_button_, &QPushButton::clicked, dialog_, [this] { stop(); });
}

void QtRunProgress::begin(std::size_t count, std::string_view title) {
  dialog_->setWindowTitle(to_display(title));
  total_ = count;
  stop_requested_ = false;
  stop_button_->setEnabled(true);
  bar_->setRange(0, static_cast<int>(std::min<std::size_t>(count, INT_MAX)));
  pacing_.begin();
}

void QtRunProgress::page(std::size_t index, std::string_view name) {
  if (!pacing_.due()) return;
  if (!dialog_->isVisible()) {
    ++times_shown_;
    dialog_->show();
  }
  count_->setText(QStringLiteral("page %1 of %2").arg(index + 1).arg(total_));
  name_->set_caption(name);
  bar_->setValue(static_cast<int>(std::min<std::size_t>(index, INT_MAX)));
}

void QtRunProgress::end() { dialog_->hide(); }

void QtRunProgress::stop() {
  stop_requested_ = true;
  stop_button_->setEnabled(false);
}

}  // namespace qv::qt
