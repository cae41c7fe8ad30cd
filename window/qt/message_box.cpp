#include "window/qt/message_box.h"

#include <optional>
#include <utility>
#include <vector>

#include <QMessageBox>
#include <QPushButton>

#include "window/qt/handler_gate.h"
#include "window/qt/text_controls.h"

namespace qv::qt {
namespace {

struct ButtonSpec {
  const char* caption;
  int code;
};

std::vector<ButtonSpec> buttons_of(Buttons buttons) {
  switch (buttons) {
    case Buttons::ok:
      return {{"OK", answer::ok}};
    case Buttons::ok_cancel:
      return {{"OK", answer::ok}, {"Cancel", answer::cancel}};
    case Buttons::yes_no:
      return {{"Yes", answer::yes}, {"No", answer::no}};
    case Buttons::cancel_try_continue:
      return {{"Cancel", answer::cancel},
              {"Try Again", answer::try_again},
              {"Continue", answer::continue_}};
  }
  return {{"OK", answer::ok}};
}

// The code that Escape and the close box give, or none when they are disabled.
std::optional<int> escape_code(Buttons buttons) {
  switch (buttons) {
    case Buttons::ok:
      return answer::ok;
    case Buttons::yes_no:
      return std::nullopt;
    case Buttons::ok_cancel:
    case Buttons::cancel_try_continue:
      return answer::cancel;
  }
  return std::nullopt;
}

}  // namespace

QtMessageBox::QtMessageBox(QWidget* parent, HandlerGate* gate) : parent_(parent), gate_(gate) {}

int QtMessageBox::show(std::string_view prompt, Buttons buttons, std::string_view title) {
  if (on_show)
    if (std::optional<int> code = on_show(prompt, buttons, title)) return *code;
  if (!next_answers_.empty()) {
    const int code = next_answers_.front();
    next_answers_.pop_front();
    return code;
  }

  QMessageBox box(parent_);
  box.setObjectName(kObjectName);
  box.setIcon(QMessageBox::NoIcon);
  box.setTextFormat(Qt::PlainText);
  box.setWindowTitle(to_display(title));
  box.setText(to_display(prompt));

  // Buttons of one role keep the order in which they are added.
  std::vector<std::pair<QPushButton*, int>> codes;
  const std::optional<int> escape = escape_code(buttons);
  for (const ButtonSpec& choice : buttons_of(buttons)) {
    QPushButton* button = box.addButton(QString::fromUtf8(choice.caption), QMessageBox::ActionRole);
    codes.emplace_back(button, choice.code);
    if (escape == choice.code) box.setEscapeButton(button);
  }
  box.setDefaultButton(codes.front().first);
  if (!escape) {
    // Without an escape button the box ignores Escape and refuses to close; it shows no close box.
    box.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  }

  auto wait = [&box] { box.exec(); };
  if (gate_ != nullptr)
    gate_->nested_loop(wait);
  else
    wait();

  for (const auto& [button, code] : codes)
    if (box.clickedButton() == button) return code;
  return escape.value_or(codes.front().second);
}

}  // namespace qv::qt
