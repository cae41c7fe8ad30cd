#include "window/win32/message_box.h"

#include "window/win32/text.h"

namespace qv::win32 {

bool is_answer_of(Buttons buttons, int code) {
  switch (buttons) {
    case Buttons::ok:
      return code == answer::ok;
    case Buttons::ok_cancel:
      return code == answer::ok || code == answer::cancel;
    case Buttons::yes_no:
      return code == answer::yes || code == answer::no;
    case Buttons::cancel_try_continue:
      return code == answer::cancel || code == answer::try_again || code == answer::continue_;
  }
  return false;
}

int Win32MessageBox::show(std::string_view prompt, Buttons buttons, std::string_view title) {
  const std::wstring wide_prompt = widen(prompt);
  const std::wstring wide_title = widen(title);
  // The sets' numbers are the system's own button flags; no icon flag, the first button default.
  const UINT flags = static_cast<UINT>(buttons) | MB_DEFBUTTON1 | MB_APPLMODAL;
  for (;;) {
    const int code = MessageBoxW(owner_, wide_prompt.c_str(), wide_title.c_str(), flags);
    if (is_answer_of(buttons, code)) return code;
    // Escape on a box whose one button is OK: Windows answers OK, Wine Cancel. It can only mean
    // OK; asking again would bring the same box back for good.
    if (buttons == Buttons::ok && code == answer::cancel) return answer::ok;
    if (code == 0) {
      // The box could not be shown: the answer that does least.
      return buttons == Buttons::yes_no ? answer::no
             : buttons == Buttons::ok   ? answer::ok
                                        : answer::cancel;
    }
    // An answer the set cannot give (Wine answers Escape on a Yes/No box with Cancel): ask
    // again, as if the key had been ignored, so that Escape never starts a run.
  }
}

}  // namespace qv::win32
