#include "window/win32/run_progress.h"

#include <algorithm>
#include <climits>
#include <string>

#include <commctrl.h>

#include "window/win32/text.h"

namespace qv::win32 {
namespace {

constexpr wchar_t kProgressClass[] = L"QuorvaneRunProgress";
constexpr int kStopId = 1;

// Places at 96 dots per inch: the window's client area, then each control's left, top, width and
// height.
constexpr int kWidth = 360, kHeight = 124;
constexpr RECT kCount{12, 10, 336, 20}, kName{12, 32, 336, 20}, kBar{12, 58, 336, 18},
    kStop{264, 88, 84, 26};

}  // namespace

Win32RunProgress::~Win32RunProgress() {
  if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

void Win32RunProgress::set_owner(HWND owner, HFONT font) {
  owner_ = owner;
  font_ = font;
}

void Win32RunProgress::create() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  static const ATOM registered = [instance] {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = &Win32RunProgress::window_proc;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window_class.lpszClassName = kProgressClass;
    return RegisterClassExW(&window_class);
  }();
  (void)registered;

  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  const auto px = [dpi](int at96) { return MulDiv(at96, dpi, 96); };
  constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  RECT frame{0, 0, px(kWidth), px(kHeight)};
  AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
  // Centred on the main window, as the message boxes are.
  RECT owner{};
  GetWindowRect(owner_, &owner);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  hwnd_ = CreateWindowExW(
      WS_EX_DLGMODALFRAME, kProgressClass, L"", kStyle, (owner.left + owner.right - width) / 2,
      (owner.top + owner.bottom - height) / 2, width, height, owner_, nullptr, instance, this);
  const auto child = [&](const wchar_t* window_class, DWORD style, const RECT& at,
                         const wchar_t* text, int id) {
    HWND control = CreateWindowExW(
        0, window_class, text, WS_CHILD | WS_VISIBLE | style, px(at.left), px(at.top), px(at.right),
        px(at.bottom), hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return control;
  };
  count_ = child(L"STATIC", SS_LEFT | SS_NOPREFIX, kCount, L"", 0);
  name_ = child(L"STATIC", SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, kName, L"", 0);
  bar_ = child(PROGRESS_CLASSW, 0, kBar, L"", 0);
  stop_button_ = child(L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, kStop, L"Stop", kStopId);
}

void Win32RunProgress::begin(std::size_t count, std::string_view title) {
  total_ = count;
  stop_requested_ = false;
  pacing_.begin();
  if (hwnd_ == nullptr && owner_ != nullptr) create();
  if (hwnd_ == nullptr) return;
  SetWindowTextW(hwnd_, widen(title).c_str());
  EnableWindow(stop_button_, TRUE);
  SendMessageW(bar_, PBM_SETRANGE32, 0, static_cast<LPARAM>(std::min<std::size_t>(count, INT_MAX)));
  SendMessageW(bar_, PBM_SETPOS, 0, 0);
}

void Win32RunProgress::page(std::size_t index, std::string_view name) {
  if (hwnd_ == nullptr) return;
  if (!pacing_.due()) return;
  if (!IsWindowVisible(hwnd_)) ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
  const std::wstring count =
      L"page " + std::to_wstring(index + 1) + L" of " + std::to_wstring(total_);
  SetWindowTextW(count_, count.c_str());
  SetWindowTextW(name_, widen(name).c_str());
  SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(std::min<std::size_t>(index, INT_MAX)), 0);
}

void Win32RunProgress::end() {
  if (hwnd_ != nullptr) ShowWindow(hwnd_, SW_HIDE);
}

void Win32RunProgress::stop() {
  stop_requested_ = true;
  EnableWindow(stop_button_, FALSE);
}

LRESULT CALLBACK Win32RunProgress::window_proc(HWND hwnd, UINT message, WPARAM wparam,
                                               LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32RunProgress*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self != nullptr) {
    // The Stop button and the close box ask for the stop; only the end of the run hides it.
    if (message == WM_COMMAND && LOWORD(wparam) == kStopId) {
      self->stop();
      return 0;
    }
    if (message == WM_CLOSE) {
      self->stop();
      return 0;
    }
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace qv::win32
