#include "window/qt/handler_gate.h"

#include <utility>

#include "window/program_end.h"

namespace qv::qt {

void HandlerGate::raise(const std::function<void()>& handler) {
  if (ended_) return;
  ++depth_;
  try {
    handler();
  } catch (const Ended&) {
    // A handler raised from another handler (a control set from code) stops with it.
    if (--depth_ > 0) throw;
    return;
  }
  if (--depth_ == 0 && loops_ == 0 && on_settled) on_settled();
}

void HandlerGate::nested_loop(const std::function<void()>& loop) {
  const int outer = std::exchange(depth_, 0);
  ++loops_;
  struct Restore {
    HandlerGate& gate;
    int depth;
    ~Restore() {
      gate.depth_ = depth;
      --gate.loops_;
    }
  } restore{*this, outer};
  loop();
  if (ended_) throw Ended{};
}

void HandlerGate::end() {
  ended_ = true;
  // Leaving without running destructors keeps Qt's global objects from being torn down under a
  // live application object.
  if (!end_action_) end_program_now();
  end_action_();
  throw Ended{};
}

}  // namespace qv::qt
