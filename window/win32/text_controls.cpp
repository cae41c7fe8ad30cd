#include "window/win32/text_controls.h"

namespace qv::win32 {

void CommandButton::notify(WORD code) {
  if (code == BN_CLICKED) press();
}

void CommandButton::press() {
  if (on_click) on_click();
}

LabelControl::LabelControl(HWND hwnd, std::string_view caption) : ChildControl(hwnd) {
  set_caption(caption);
}

void LabelControl::set_caption(std::string_view caption) {
  caption_ = caption;
  set_window_text(caption_);
}

EditBox::EditBox(HWND hwnd, std::string_view text, Lines lines)
    : ChildControl(hwnd), text_(text), lines_(lines) {
  SendMessageW(hwnd_, EM_SETLIMITTEXT, 0, 0);  // no limit but memory
  if (lines_ == Lines::many) subclass();
  display();
}

void EditBox::set_text(std::string_view text) {
  if (text == text_) return;
  text_ = text;
  displayed_ = false;
  if (lines_ == Lines::one || GetFocus() == hwnd_) display();
  if (on_change) on_change();
}

void EditBox::display() {
  if (displayed_) return;
  displaying_ = true;
  set_window_text(text_);
  displaying_ = false;
  displayed_ = true;
}

void EditBox::notify(WORD code) {
  // Changes made from code are raised by set_text; this one is the user's edit.
  if (code != EN_CHANGE || displaying_ || !displayed_) return;
  text_ = window_text();
  if (on_change) on_change();
}

LRESULT EditBox::handle(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_SETFOCUS) display();
  if (message == WM_GETDLGCODE && lparam != 0 && wparam == VK_TAB) {
    // Tab moves on to the next control, as from every other control, instead of typing a tab.
    return original(message, wparam, lparam) &
           ~(DLGC_WANTTAB | DLGC_WANTALLKEYS | DLGC_WANTMESSAGE);
  }
  return original(message, wparam, lparam);
}

}  // namespace qv::win32
