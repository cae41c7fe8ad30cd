#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string_view>

#include "window/controls.h"

class QWidget;

namespace qv::qt {

class HandlerGate;

// The modal message box: prompt and title as given, no icon, the buttons of the set left to right
// in the platform's order, the first one the default.
//
//   set                     buttons                        codes        Escape / close box
//   ok                      OK                             1            1
//   ok_cancel               OK, Cancel                     1, 2         2
//   yes_no                  Yes, No                        6, 7         disabled
//   cancel_try_continue     Cancel, Try Again, Continue    2, 10, 11    2
class QtMessageBox : public MessageBox {
 public:
  // The box is centred on `parent`. While it waits, `gate` (when given) learns of a nested loop.
  explicit QtMessageBox(QWidget* parent = nullptr, HandlerGate* gate = nullptr);

  int show(std::string_view prompt, Buttons buttons, std::string_view title) override;

  // The object name of the box while it is shown, so that it can be found among the top-level
  // widgets.
  static constexpr const char* kObjectName = "qv_message_box";

  // Answers the next box with `code` without showing it; queued answers are used in order.
  void answer_next(int code) { next_answers_.push_back(code); }
  // Called with every box first; an answer it returns is taken without showing the box (and
  // before any queued one).
  std::function<std::optional<int>(std::string_view prompt, Buttons buttons,
                                   std::string_view title)>
      on_show;

 private:
  QWidget* parent_;
  HandlerGate* gate_;
  std::deque<int> next_answers_;
};

}  // namespace qv::qt
