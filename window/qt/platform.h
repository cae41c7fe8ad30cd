#pragma once

#include <functional>
#include <string>

#include "window/controls.h"
#include "window/qt/handler_gate.h"

namespace qv::qt {

// The platform services over Qt: the event loop, the program's end (through the gate), and the
// executable's folder.
class QtPlatform : public Platform {
 public:
  explicit QtPlatform(HandlerGate& gate) : gate_(gate) {}
  std::string application_folder() const override;
  // Handles the pending events (repaints, clicks) once, then returns.
  void yield() override;
  [[noreturn]] void end() override { gate_.end(); }

  // Runs at each yield before the events are handled (tests: a slow yield).
  std::function<void()> during_yield;

 private:
  HandlerGate& gate_;
};

}  // namespace qv::qt
