#pragma once

#include <string_view>

#include "window/controls.h"
#include "window/win32/win32.h"

namespace qv::win32 {

// The system's modal message box, owned by the window: prompt and title as given, no icon, the
// buttons of the set in the system's order, the first one the default.
//
//   set                     buttons                        codes        Escape / close box
//   ok                      OK                             1            1 (Wine's 2 read as 1)
//   ok_cancel               OK, Cancel                     1, 2         2
//   yes_no                  Yes, No                        6, 7         disabled
//   cancel_try_continue     Cancel, Try Again, Continue    2, 10, 11    2
class Win32MessageBox : public MessageBox {
 public:
  void set_owner(HWND owner) { owner_ = owner; }
  int show(std::string_view prompt, Buttons buttons, std::string_view title) override;

 private:
  HWND owner_ = nullptr;
};

// Whether `code` is one of the codes the button set can give.
bool is_answer_of(Buttons buttons, int code);

}  // namespace qv::win32
