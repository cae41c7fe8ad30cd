#include "window/win32/control_host.h"

#include <algorithm>
#include <utility>

#include <commctrl.h>

#include "window/control_table.h"
#include "window/win32/list_controls.h"
#include "window/win32/text.h"
#include "window/win32/text_controls.h"

namespace qv::win32 {
namespace {

constexpr wchar_t kWindowClass[] = L"QuorvaneInsertWindow";
constexpr int kIconResource = 1;
// A text box taller than a single line of text shows several lines.
constexpr int kOneLineTwips = 495;
constexpr DWORD kWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

struct ClassAndStyle {
  const wchar_t* window_class;
  DWORD style;
  DWORD ex_style;
};

ClassAndStyle class_and_style(const ControlSpec& row) {
  constexpr DWORD list =
      WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS;
  switch (row.kind) {
    case ControlKind::button:
      return {L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0};
    case ControlKind::text_box:
      if (row.height > kOneLineTwips)
        return {L"EDIT",
                WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                    ES_AUTOHSCROLL | ES_WANTRETURN,
                WS_EX_CLIENTEDGE};
      return {L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case ControlKind::file_list:
      return {L"LISTBOX", list, WS_EX_CLIENTEDGE};
    case ControlKind::folder_list:
      return {L"LISTBOX", list | LBS_OWNERDRAWFIXED, WS_EX_CLIENTEDGE};
    case ControlKind::drive_list:
      return {L"COMBOBOX", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0};
    case ControlKind::label:
      return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0};
  }
  return {L"STATIC", 0, 0};
}

std::size_t row_number(std::string_view name) {
  return static_cast<std::size_t>(find_control(name) - control_table().data());
}

ATOM register_class(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kWindowClass;
  const auto icon = [instance](int metric_x, int metric_y) {
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                                         GetSystemMetrics(metric_x), GetSystemMetrics(metric_y),
                                         LR_DEFAULTCOLOR));
  };
  window_class.hIcon = icon(SM_CXICON, SM_CYICON);
  window_class.hIconSm = icon(SM_CXSMICON, SM_CYSMICON);
  return RegisterClassExW(&window_class);
}

}  // namespace

ControlHost::ControlHost(std::function<std::vector<Volume>()> volumes)
    : WindowHost(std::move(volumes)), platform_(*this) {
  bind_services(message_box_, platform_, progress_);
  INITCOMMONCONTROLSEX common{sizeof(common), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&common);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  static const ATOM window_class = register_class(instance, &ControlHost::window_proc);
  (void)window_class;

  HDC screen = GetDC(nullptr);
  dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
  font_ = CreateFontIndirectW(&metrics.lfMessageFont);
  HGDIOBJ old_font = SelectObject(screen, font_);
  TEXTMETRICW text_metrics{};
  GetTextMetricsW(screen, &text_metrics);
  row_height_ = std::max(static_cast<int>(text_metrics.tmHeight) + 2, MulDiv(16, dpi_, 96));
  SelectObject(screen, old_font);
  ReleaseDC(nullptr, screen);

  RECT frame{0, 0, pixels(kClientWidthTwips), pixels(kClientHeightTwips)};
  AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
  CreateWindowExW(0, kWindowClass, widen(kWindowCaption).c_str(), kWindowStyle, CW_USEDEFAULT,
                  CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr,
                  nullptr, instance, this);
  message_box_.set_owner(hwnd_);
  progress_.set_owner(hwnd_, font_);
  create_controls();
  watch_volumes();
}

ControlHost::~ControlHost() {
  if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
  children_.clear();
  if (font_ != nullptr) DeleteObject(font_);
}

template <typename Control>
void ControlHost::adopt(std::string_view name, std::unique_ptr<Control> control) {
  bind(name, bound_to(*control));
  children_.push_back(std::move(control));
}

void ControlHost::create_controls() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  std::vector<std::pair<int, HWND>> tab_order;
  int id = kFirstControlId;
  for (const ControlSpec& row : control_table()) {
    const ClassAndStyle kind = class_and_style(row);
    int height = pixels(row.height);
    // A combo box's height includes its dropped-down list.
    if (row.kind == ControlKind::drive_list) height += 8 * row_height_;
    const std::wstring caption = row.kind == ControlKind::button ? widen(row.text) : L"";
    HWND child = CreateWindowExW(
        kind.ex_style, kind.window_class, caption.c_str(), WS_CHILD | WS_VISIBLE | kind.style,
        pixels(row.left), pixels(row.top), pixels(row.width), height, hwnd_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++)), instance, nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    switch (row.kind) {
      case ControlKind::button:
        adopt(row.name, std::make_unique<CommandButton>(child));
        break;
      case ControlKind::text_box:
        adopt(row.name,
              std::make_unique<EditBox>(
                  child, row.text,
                  row.height > kOneLineTwips ? EditBox::Lines::many : EditBox::Lines::one));
        break;
      case ControlKind::file_list:
        adopt(row.name, std::make_unique<FileListBox>(child, row.text));
        break;
      case ControlKind::folder_list:
        adopt(row.name, std::make_unique<FolderListBox>(child));
        break;
      case ControlKind::drive_list:
        // The closed box as tall as the table says: the selection field, less its frame.
        SendMessageW(child, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1),
                     pixels(row.height) - 2 * GetSystemMetrics(SM_CYEDGE) - 2);
        adopt(row.name, std::make_unique<DriveComboBox>(child));
        break;
      case ControlKind::label:
        adopt(row.name, std::make_unique<LabelControl>(child, row.text));
        break;
    }
    if (takes_focus(row.kind)) tab_order.emplace_back(row.tab_index, child);
  }
  // Tab visits the controls in z-order: stack them by tab index, the first on top.
  std::sort(tab_order.begin(), tab_order.end());
  HWND above = HWND_TOP;
  for (const auto& [tab_index, child] : tab_order) {
    SetWindowPos(child, above, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    above = child;
  }
}

template <typename Control>
Control& ControlHost::named(std::string_view name) const {
  return dynamic_cast<Control&>(*children_.at(row_number(name)));
}

void ControlHost::run_handler(const std::function<void()>& handler) {
  struct Running {
    ControlHost& host;
    explicit Running(ControlHost& h) : host(h) { ++host.handlers_running_; }
    ~Running() {
      // Text1 lies outside the client area and hands its text to the edit control only on
      // demand: once the handlers are done (a run over, a text loaded), it shows the last text
      // handled.
      if (--host.handlers_running_ == 0) host.named<EditBox>("Text1").display();
    }
  } running(*this);
  handler();
}

void ControlHost::show(int show_command) {
  ShowWindow(hwnd_, show_command);
  UpdateWindow(hwnd_);
  focus_ = named<ChildControl>("Drive1").hwnd();
  SetFocus(focus_);
}

}  // namespace qv::win32
