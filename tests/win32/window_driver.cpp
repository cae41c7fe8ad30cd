// Drives the real Windows window program from outside, as a user would: starts it on a fresh
// folder of pages, checks the window and its controls, picks the page folder and the text file,
// runs Go through its message boxes, checks the pages' bytes and closes the window.
// Usage: window_driver PROGRAM.exe      Exit status: 0 passed, 1 failed.
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/page_assertions.h"
#include "window/control_table.h"
#include "window/win32/control_host.h"
#include "window/win32/win32.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

int failures = 0;
constexpr int kFirstId = qv::win32::ControlHost::kFirstControlId;

void check(bool ok, const std::string& what) {
  if (ok) return;
  ++failures;
  std::fprintf(stderr, "FAILED: %s\n", what.c_str());
}

// Polls `done` for up to ten seconds.
template <typename Condition>
bool wait_for(Condition done) {
  for (int i = 0; i < 1000; ++i) {
    if (done()) return true;
    Sleep(10);
  }
  return false;
}

std::wstring text_of(HWND hwnd) {
  wchar_t buffer[1024] = {};
  SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), SMTO_BLOCK, 5000,
                      nullptr);
  return buffer;
}

std::wstring class_of(HWND hwnd) {
  wchar_t buffer[64] = {};
  GetClassNameW(hwnd, buffer, 64);
  return buffer;
}

LRESULT ask(HWND hwnd, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(hwnd, message, wparam, lparam, SMTO_BLOCK, 5000, &result);
  return static_cast<LRESULT>(result);
}

std::vector<std::wstring> list_items(HWND list) {
  std::vector<std::wstring> items;
  const LRESULT count = ask(list, LB_GETCOUNT);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t buffer[MAX_PATH] = {};
    SendMessageTimeoutW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer),
                        SMTO_BLOCK, 5000, nullptr);
    items.emplace_back(buffer);
  }
  return items;
}

// The centre of a list's row `index`, in the list's client coordinates, as a mouse message's
// lparam.
LPARAM row_point(HWND list, int index) {
  const auto height = static_cast<int>(ask(list, LB_GETITEMHEIGHT));
  const auto top = static_cast<int>(ask(list, LB_GETTOPINDEX));
  return MAKELPARAM(10, (index - top) * height + height / 2);
}

int row_named(HWND list, const std::wstring& name) {
  const std::vector<std::wstring> items = list_items(list);
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i] == name) return static_cast<int>(i);
  return -1;
}

// Waits for the message box titled `title`, checks its prompt (when one is given) and its
// buttons, and presses `press`; returns the prompt.
std::wstring answer_box(const std::wstring& title, const std::wstring& prompt,
                        const std::vector<int>& buttons, int press) {
  HWND box = nullptr;
  if (!wait_for([&] { return (box = FindWindowW(L"#32770", title.c_str())) != nullptr; })) {
    check(false, "a message box appears");
    return {};
  }
  std::wstring shown = text_of(GetDlgItem(box, 0xFFFF));
  if (!prompt.empty()) check(shown == prompt, "the message box's prompt");
  for (int id : buttons) check(GetDlgItem(box, id) != nullptr, "the message box's buttons");
  PostMessageW(GetDlgItem(box, press), BM_CLICK, 0, 0);
  check(wait_for([&] { return !IsWindow(box); }), "the message box closes");
  return shown;
}

std::string read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_all(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The pages, before the run, and the text the run inserts.
const std::string kPage1 = "<html><body>\r\n<p>\xE9t\xE9</p>\r\n</body></html>\r\n";
const std::string kPage2 = "<body>\x1A\0x</body>tail</body>"s;
const std::string kText = "<script>var quorvaneSite = 1;</script>";
// Enough more pages, after those, for the run to last beyond the second after which it shows
// its progress (a page costs milliseconds under Wine, which scans the folder at each new file).
constexpr int kMorePages = 600;

// Writes the folder the program starts in: "pages" (two matching pages, one other, and the many
// more) and "text" with the text file.
void make_site(const fs::path& work) {
  fs::create_directories(work / "pages");
  fs::create_directories(work / "text");
  write_all(work / "pages" / "framec1.html", kPage1);
  write_all(work / "pages" / "framec2.html", kPage2);
  write_all(work / "pages" / "other.htm", kPage1);
  write_all(work / "text" / "counter.txt", kText);
  for (int i = 0; i < kMorePages; ++i)
    write_all(work / "pages" / ("zz" + std::to_string(1000 + i) + ".htm"), "<body>x</body>");
}

// The running program: its process, its window and the window's controls in the control
// table's order.
struct Session {
  fs::path work;
  PROCESS_INFORMATION process{};
  HWND window = nullptr;
  std::vector<HWND> controls;

  HWND named(std::string_view name) const {
    return controls[static_cast<std::size_t>(qv::find_control(name) - qv::control_table().data())];
  }
};

// Checks the window and its controls, placed as the control table says at the screen's
// resolution, with their kinds and captions; returns the controls in the table's order.
std::vector<HWND> checked_controls(HWND window) {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  const auto px = [dpi](int twips) { return MulDiv(twips, dpi, 1440); };
  RECT client{};
  GetClientRect(window, &client);
  check(client.right == px(qv::kClientWidthTwips) && client.bottom == px(qv::kClientHeightTwips),
        "the client area's size");
  std::vector<HWND> controls;
  for (const qv::ControlSpec& row : qv::control_table()) {
    const std::string name(row.name);
    HWND control = GetDlgItem(window, kFirstId + static_cast<int>(controls.size()));
    controls.push_back(control);
    if (control == nullptr) {
      check(false, name + " exists");
      continue;
    }
    RECT box{};
    GetWindowRect(control, &box);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&box), 2);
    check(
        box.left == px(row.left) && box.top == px(row.top) && box.right - box.left == px(row.width),
        name + "'s place");
    if (row.kind != qv::ControlKind::drive_list)
      check(box.bottom - box.top == px(row.height), name + "'s height");
    const wchar_t* expected_class[] = {L"Button",  L"Edit",     L"ListBox",
                                       L"ListBox", L"ComboBox", L"Static"};
    check(_wcsicmp(class_of(control).c_str(), expected_class[static_cast<int>(row.kind)]) == 0,
          name + "'s kind");
    // Design captions of the path and count labels are cleared as the window loads.
    const bool cleared = name == "Label2" || name == "Label3" || name == "Label5";
    const bool shown = row.kind == qv::ControlKind::button || row.kind == qv::ControlKind::label ||
                       row.kind == qv::ControlKind::text_box;
    if (shown)
      check(text_of(control) == (cleared ? L"" : fs::path(std::string(row.text)).wstring()),
            name + "'s text");
  }
  return controls;
}

// Tab visits the controls in z-order: it must be the tab indices' order. Drive1 has the focus.
void check_tab_order(const Session& session) {
  const auto table = qv::control_table();
  int last_tab_index = -1;
  bool in_order = true;
  for (HWND child = GetWindow(session.window, GW_CHILD); child;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if ((GetWindowLongW(child, GWL_STYLE) & WS_TABSTOP) == 0) continue;
    const int tab_index = table[static_cast<std::size_t>(GetDlgCtrlID(child) - kFirstId)].tab_index;
    in_order = in_order && tab_index > last_tab_index;
    last_tab_index = tab_index;
  }
  check(in_order && last_tab_index == 18, "the tab order");
  GUITHREADINFO thread{};
  thread.cbSize = sizeof(thread);
  GetGUIThreadInfo(session.process.dwThreadId, &thread);
  check(thread.hwndFocus == session.named("Drive1"), "Drive1 has the focus at start");
}

// Left pane: a double click opens "pages"; the file list shows the names matching its first
// pattern, until "Clear pattern" lists them all. Right pane: Enter opens "text"; a click on the
// text file puts its path in Label3.
void pick_pages_and_text(const Session& session) {
  const auto named = [&](std::string_view name) { return session.named(name); };
  check(list_items(named("Dir1")).back() == L"text", "Dir1 lists the subfolders");
  HWND dir1 = named("Dir1");
  const int pages_row = row_named(dir1, L"pages");
  ask(dir1, LB_SETCURSEL, static_cast<WPARAM>(pages_row));
  PostMessageW(dir1, WM_LBUTTONDBLCLK, MK_LBUTTON, row_point(dir1, pages_row));
  const std::wstring pages_folder = (session.work / "pages").wstring() + L"\\";
  check(wait_for([&] { return text_of(named("Label2")) == pages_folder; }),
        "Label2 shows the opened folder");
  check(list_items(named("File1")) == std::vector<std::wstring>{L"framec1.html", L"framec2.html"},
        "File1 lists the pages matching its pattern");
  PostMessageW(named("Command4"), BM_CLICK, 0, 0);
  check(wait_for([&] { return ask(named("File1"), LB_GETCOUNT) == 3 + kMorePages; }),
        "Clear pattern lists every file");
  check(text_of(named("masque")) == L"*.*", "the pattern box after Clear pattern");

  HWND dir2 = named("Dir2");
  ask(dir2, LB_SETCURSEL, static_cast<WPARAM>(row_named(dir2, L"text")));
  PostMessageW(dir2, WM_KEYDOWN, VK_RETURN, 1);
  HWND file2 = named("File2");
  check(wait_for([&] { return ask(file2, LB_GETCOUNT) == 1; }), "Enter opens the folder");
  PostMessageW(file2, WM_LBUTTONDOWN, MK_LBUTTON, row_point(file2, 0));
  PostMessageW(file2, WM_LBUTTONUP, 0, row_point(file2, 0));
  const std::wstring text_path = (session.work / "text" / "counter.txt").wstring();
  check(wait_for([&] { return text_of(named("Label3")) == text_path; }),
        "a click on the text file");
}

// Go: confirm, Stop the run once it shows its progress, then the report and the pages' bytes.
void run_and_stop(const Session& session) {
  PostMessageW(session.named("Command3"), BM_CLICK, 0, 0);
  // Escape does not answer a Yes/No box (Wine closes the box with Cancel; the window asks again).
  // The dialog keys turn Escape into the Cancel command, sent here so that it is handled before
  // the box is looked for again; a box that closes does so at once.
  HWND confirm = nullptr;
  check(wait_for([&] { return (confirm = FindWindowW(L"#32770", L" Insert text in HTML")); }),
        "the confirmation appears");
  ask(confirm, WM_COMMAND, IDCANCEL);
  for (int i = 0; i < 200 && IsWindow(confirm); ++i) Sleep(10);
  answer_box(L" Insert text in HTML", L" Are you sure to modified 603 files", {IDYES, IDNO}, IDYES);
  // The run shows its progress once it has lasted a second; Stop ends it after the page in hand.
  HWND progress = nullptr;
  check(wait_for([&] {
          progress = FindWindowW(L"QuorvaneRunProgress", nullptr);
          return progress != nullptr && IsWindowVisible(progress);
        }),
        "a long run shows its progress");
  PostMessageW(GetDlgItem(progress, 1), BM_CLICK, 0, 0);
  const std::wstring report = answer_box(L" Insert text in HTML", L"", {IDOK, IDCANCEL}, IDOK);
  const int upgraded = report.size() > 1 ? std::stoi(report.substr(1)) : 0;
  check(report.ends_with(L" file(s) have been upgraded ") && upgraded >= 3 &&
            upgraded < 3 + kMorePages,
        "Stop ends the run before its last page");
  check(!IsWindowVisible(progress), "the progress hides at the end of the run");
  check(text_of(session.named("Label5")) == std::to_wstring(3 + kMorePages),
        "Label5 counts the listed pages");
  const fs::path pages = session.work / "pages";
  check(
      read_all(pages / ("zz" + std::to_string(1000 + kMorePages - 1) + ".htm")) == "<body>x</body>",
      "the pages after the stop are untouched");
  check(qv::testing::leftovers(pages.string()).empty(), "no temporary file is left");
  const std::string framed = "\r\n" + kText + "\r\n";
  check(read_all(pages / "framec1.html") ==
            "<html><body>\r\n<p>\xE9t\xE9</p>\r\n" + framed + "</body></html>\r\n",
        "the first page's bytes");
  check(read_all(pages / "framec2.html") == "<body>\x1A\0x</body>tail"s + framed + "</body>",
        "the second page's bytes");
}

// Text1, off screen, holds the last page handled; the off-screen load button, pressed from the
// keyboard, puts the loaded text there. Escape answers an OK-only box once: opening another
// folder drops the chosen text file, and the load then says there is none.
void load_text(const Session& session) {
  const auto named = [&](std::string_view name) { return session.named(name); };
  const std::wstring wide_text = fs::path(kText).wstring();
  check(wait_for(
            [&] { return text_of(named("Text1")) == L"<body>x\r\n" + wide_text + L"\r\n</body>"; }),
        "Text1 holds the last page handled");
  PostMessageW(named("Command1"), WM_KEYDOWN, VK_SPACE, 0);
  PostMessageW(named("Command1"), WM_KEYUP, VK_SPACE, 0xC0000001);
  check(wait_for([&] { return text_of(named("Text1")) == wide_text; }),
        "Text1 holds the text loaded from the keyboard");

  HWND dir2 = named("Dir2");
  const int up_row = row_named(dir2, session.work.filename().wstring());
  ask(dir2, LB_SETCURSEL, static_cast<WPARAM>(up_row));
  PostMessageW(dir2, WM_LBUTTONDBLCLK, MK_LBUTTON, row_point(dir2, up_row));
  check(wait_for([&] { return text_of(named("Label3")).empty(); }), "Dir2 drops the text file");
  PostMessageW(named("Command1"), BM_CLICK, 0, 0);
  HWND no_file = nullptr;
  check(wait_for([&] { return (no_file = FindWindowW(L"#32770", L"Insert text in Html files")); }),
        "the load says there is no file");
  ask(no_file, WM_COMMAND, IDCANCEL);
  Sleep(1000);
  check(FindWindowW(L"#32770", L"Insert text in Html files") == nullptr,
        "Escape closes an OK-only box for good");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s PROGRAM.exe\n", argv[0]);
    return 2;
  }
  const fs::path program = fs::absolute(argv[1]);
  // The first line: the test's runner tells by it that the driver started at all.
  std::fprintf(stderr, "window driver: %s\n", program.string().c_str());
  Session session;
  session.work = fs::temp_directory_path() / ("qv-window-" + std::to_string(GetCurrentProcessId()));
  make_site(session.work);

  // The program opens both panes on its current folder.
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  std::wstring command = L"\"" + program.wstring() + L"\"";
  if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      session.work.c_str(), &startup, &session.process)) {
    std::fprintf(stderr, "cannot start %s\n", program.string().c_str());
    return 1;
  }
  HWND window = nullptr;
  check(wait_for([&] {
          return (window = FindWindowW(nullptr, L"Insert text in HTML files")) != nullptr &&
                 IsWindowVisible(window);
        }),
        "the window appears");
  if (window == nullptr) {
    TerminateProcess(session.process.hProcess, 1);
    return 1;
  }
  WaitForInputIdle(session.process.hProcess, 10000);
  session.window = window;
  session.controls = checked_controls(window);
  check_tab_order(session);
  pick_pages_and_text(session);
  run_and_stop(session);
  load_text(session);

  // The close box ends the program when no run is in progress.
  PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  DWORD status = 1;
  check(WaitForSingleObject(session.process.hProcess, 10000) == WAIT_OBJECT_0 &&
            GetExitCodeProcess(session.process.hProcess, &status) && status == 0,
        "the close box ends the program");
  TerminateProcess(session.process.hProcess, 1);
  CloseHandle(session.process.hThread);
  CloseHandle(session.process.hProcess);
  std::error_code ignored;
  fs::remove_all(session.work, ignored);
  std::fprintf(stderr, "%s\n", failures == 0 ? "passed" : "failed");
  return failures == 0 ? 0 : 1;
}
