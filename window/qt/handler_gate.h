#pragma once

#include <functional>

namespace qv::qt {

// The one door through which the binding runs the form's handlers. It makes the program's end
// final: once ended, no handler runs any more, and a handler that is waiting in a nested event
// loop (a yield, a modal box) stops as soon as that loop returns.
//
// By default the end exits the process at once. Tests replace that with an action of their own;
// the gate then unwinds the handlers in progress with an exception that it catches itself, at the
// outermost handler of each event loop, so that it never crosses Qt's own code.
class HandlerGate {
 public:
  // Runs a handler for a control's event; does nothing once the program has ended.
  void raise(const std::function<void()>& handler);

  // Runs a nested event loop from inside a handler. Handlers raised inside it are outermost for
  // that loop. When the program ended during the loop, the handler that entered it stops.
  void nested_loop(const std::function<void()>& loop);

  // Ends the program: runs the end action, which by default exits the process.
  [[noreturn]] void end();

  // Replaces the process exit by `action` (tests).
  void set_end_action(std::function<void()> action) { end_action_ = std::move(action); }

  // Called each time the last handler in progress returns to the main event loop: no handler
  // runs, none waits in a nested loop. Work put off while handlers run belongs here.
  std::function<void()> on_settled;

 private:
  struct Ended {};
  int depth_ = 0;  // handlers in progress since the innermost event loop was entered
  int loops_ = 0;  // nested event loops entered by handlers in progress
  bool ended_ = false;
  std::function<void()> end_action_;
};

}  // namespace qv::qt
