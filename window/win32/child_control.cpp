#include "window/win32/child_control.h"

#include "system/win32/wide.h"
#include "window/win32/text.h"

namespace qv::win32 {

void ChildControl::subclass() {
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  original_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&subclass_proc)));
}

LRESULT CALLBACK ChildControl::subclass_proc(HWND hwnd, UINT message, WPARAM wparam,
                                             LPARAM lparam) {
  auto* control = reinterpret_cast<ChildControl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  return control->handle(message, wparam, lparam);
}

LRESULT ChildControl::handle(UINT message, WPARAM wparam, LPARAM lparam) {
  return original(message, wparam, lparam);
}

LRESULT ChildControl::original(UINT message, WPARAM wparam, LPARAM lparam) {
  return CallWindowProcW(original_, hwnd_, message, wparam, lparam);
}

std::string ChildControl::window_text() const {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd_)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(hwnd_, text.data(), static_cast<int>(text.size()))));
  return to_utf8(text);
}

void ChildControl::set_window_text(std::string_view bytes) {
  SetWindowTextW(hwnd_, widen(bytes).c_str());
}

}  // namespace qv::win32
