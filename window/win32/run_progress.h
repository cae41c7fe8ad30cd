#pragma once

#include <cstddef>
#include <string_view>

#include "window/controls.h"
#include "window/progress_pacing.h"
#include "window/win32/win32.h"

namespace qv::win32 {

// The progress of a run: a small window owned by the main one, shown as ProgressPacing says, with
// the page in hand (its number and its name, shortened in the middle), a bar and a Stop button. Its
// close box asks for the stop too. It shows what the run tells it, between pages, and never waits:
// its messages are handled by the run's yield, as the main window's are.
class Win32RunProgress final : public RunProgress {
 public:
  Win32RunProgress() = default;
  ~Win32RunProgress() override;
  Win32RunProgress(const Win32RunProgress&) = delete;
  Win32RunProgress& operator=(const Win32RunProgress&) = delete;

  // The window it belongs to, and the font of its texts; call once, before the first run.
  void set_owner(HWND owner, HFONT font);

  void begin(std::size_t count, std::string_view title) override;
  void page(std::size_t index, std::string_view name) override;
  bool stop_requested() const override { return stop_requested_; }
  void end() override;

 private:
  static LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  void create();
  void stop();

  HWND owner_ = nullptr;
  HFONT font_ = nullptr;
  HWND hwnd_ = nullptr;
  HWND count_ = nullptr;
  HWND name_ = nullptr;
  HWND bar_ = nullptr;
  HWND stop_button_ = nullptr;
  ProgressPacing pacing_;
  std::size_t total_ = 0;
  bool stop_requested_ = false;
};

}  // namespace qv::win32
