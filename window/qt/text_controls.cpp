#include "window/qt/text_controls.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QTimer>

namespace qv::qt {

QString to_display(std::string_view bytes) {
  return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string from_display(const QString& text) { return text.toLocal8Bit().toStdString(); }

CommandButton::CommandButton(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent) {
  setFocusPolicy(Qt::StrongFocus);
  connect(this, &QPushButton::clicked, this, [this] {
    if (on_click) on_click();
  });
}

void CommandButton::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    click();
    return;
  }
  QPushButton::keyPressEvent(event);
}

LabelBox::LabelBox(std::string_view caption, QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  set_caption(caption);
}

void LabelBox::set_caption(std::string_view caption) {
  caption_ = caption;
  setText(to_display(caption_));
  if (elision_ == Elision::middle) setToolTip(text());
}

void LabelBox::set_elision(Elision elision) {
  elision_ = elision;
  setToolTip(elision_ == Elision::middle ? text() : QString());
  update();
}

QString LabelBox::drawn_text() const {
  if (elision_ == Elision::none) return text();
  return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width());
}

void LabelBox::paintEvent(QPaintEvent* event) {
  if (elision_ == Elision::none) {
    QLabel::paintEvent(event);
    return;
  }
  QPainter painter(this);
  style()->drawItemText(&painter, contentsRect(), static_cast<int>(alignment()), palette(),
                        isEnabled(), drawn_text(), foregroundRole());
}

LineTextBox::LineTextBox(std::string_view text, QWidget* parent)
    : QLineEdit(to_display(text), parent), text_(text) {
  // textEdited comes from the user only; changes from code raise the event in set_text.
  connect(this, &QLineEdit::textEdited, this, [this](const QString& edited) {
    text_ = from_display(edited);
    if (on_change) on_change();
  });
}

void LineTextBox::set_text(std::string_view text) {
  if (text == text_) return;
  text_ = text;
  setText(to_display(text_));
  if (on_change) on_change();
}

DocumentTextBox::DocumentTextBox(std::string_view text, QWidget* parent)
    : QPlainTextEdit(parent), text_(text) {
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setTabChangesFocus(true);  // Tab moves on to the next control, as in every other control
  connect(this, &QPlainTextEdit::textChanged, this, [this] {
    if (displaying_) return;
    text_ = from_display(toPlainText());
    displayed_ = true;
    if (on_change) on_change();
  });
  display();
}

void DocumentTextBox::set_text(std::string_view text) {
  if (text == text_) return;
  text_ = text;
  displayed_ = false;
  schedule_display();
  if (on_change) on_change();
}

void DocumentTextBox::focusInEvent(QFocusEvent* event) {
  display();
  QPlainTextEdit::focusInEvent(event);
}

void DocumentTextBox::showEvent(QShowEvent* event) {
  QPlainTextEdit::showEvent(event);
  schedule_display();
}

void DocumentTextBox::schedule_display() {
  // One pending update at most, however many texts arrive before the event loop runs.
  if (displayed_ || display_pending_) return;
  display_pending_ = true;
  QTimer::singleShot(0, this, [this] {
    display_pending_ = false;
    if (hasFocus() || (isVisible() && !visibleRegion().isEmpty())) display();
  });
}

void DocumentTextBox::display() {
  if (displayed_) return;
  displaying_ = true;
  setPlainText(to_display(text_));
  displaying_ = false;
  displayed_ = true;
}

}  // namespace qv::qt
