// The window's messages: the message loop and its one-pass form for the yield, the controls'
// notifications, Enter on a button, the close box, and the program's end.
#include "system/file_io.h"
#include "window/program_end.h"
#include "window/win32/control_host.h"
#include "window/win32/list_controls.h"
#include "window/win32/text_controls.h"

namespace qv::win32 {
namespace {

// Messages handled in one yield at most, so that a flood of them cannot hold up a run.
constexpr int kMessagesPerYield = 1000;

}  // namespace

std::string Win32Platform::application_folder() const { return qv::application_folder(); }

void Win32Platform::yield() { window_.pump_pending(); }

void Win32Platform::end() { end_program_now(); }

bool ControlHost::dispatch(MSG& message) {
  if (message.message == WM_QUIT) return false;
  if (!IsWindow(hwnd_) || !IsDialogMessageW(hwnd_, &message)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return true;
}

int ControlHost::run() {
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) dispatch(message);
  return static_cast<int>(message.wParam);
}

void ControlHost::pump_pending() {
  MSG message{};
  for (int i = 0; i < kMessagesPerYield && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
    if (!dispatch(message)) {
      PostQuitMessage(static_cast<int>(message.wParam));  // for the main loop to see
      return;
    }
  }
}

void ControlHost::close() {
  if (!query_unload()) return;  // a run stops after the page in hand, then ends the program
  // A handler waiting in a message box would carry on over destroyed controls: end at once.
  if (handlers_running_ > 0) platform_.end();
  DestroyWindow(hwnd_);
}

LRESULT CALLBACK ControlHost::window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* window =
        static_cast<ControlHost*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    window->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
  }
  auto* window = reinterpret_cast<ControlHost*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (window == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  return window->handle(message, wparam, lparam);
}

LRESULT ControlHost::handle(UINT message, WPARAM wparam, LPARAM lparam) {
  const auto child_with_id = [this](int id) -> ChildControl* {
    const int index = id - kFirstControlId;
    if (index < 0 || static_cast<std::size_t>(index) >= children_.size()) return nullptr;
    return children_[static_cast<std::size_t>(index)].get();
  };
  switch (message) {
    case WM_COMMAND:
      if (lparam != 0) {
        if (ChildControl* child = child_with_id(LOWORD(wparam))) child->notify(HIWORD(wparam));
      } else if (LOWORD(wparam) == IDOK) {
        // Enter, which the dialog keys turn into the window's default command: it presses the
        // button that has the focus.
        HWND focus = GetFocus();
        if (focus != nullptr && GetParent(focus) == hwnd_)
          if (auto* button = dynamic_cast<CommandButton*>(child_with_id(GetDlgCtrlID(focus))))
            button->press();
      }
      return 0;
    case WM_MEASUREITEM:
      reinterpret_cast<MEASUREITEMSTRUCT*>(lparam)->itemHeight = static_cast<UINT>(row_height_);
      return TRUE;
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      if (auto* folders = dynamic_cast<FolderListBox*>(child_with_id(static_cast<int>(item.CtlID))))
        folders->draw(item);
      return TRUE;
    }
    case WM_ACTIVATE:
      // The focus goes back to the control that had it when the window was left.
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(hwnd_, focus)) focus_ = focus;
      } else if (focus_ != nullptr) {
        SetFocus(focus_);
        return 0;
      }
      break;
    case WM_CLOSE:
      close();
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wparam, lparam);
}

}  // namespace qv::win32
