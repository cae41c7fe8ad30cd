#pragma once

// The window's controls and platform services as the form's handlers see them. A binding (Qt
// today, native Win32 later, in-memory doubles in tests) implements these; the handlers never see
// anything else of the platform. Texts are bytes; a binding decodes them only to display them.

#include <cstddef>
#include <string>
#include <string_view>

namespace qv {

// A label: display-only text.
class Label {
 public:
  virtual ~Label() = default;
  virtual std::string caption() const = 0;
  // Changes the caption.
  virtual void set_caption(std::string_view caption) = 0;
};

// A text box. Setting its text from code raises its change event at once when the text differs.
class TextBox {
 public:
  virtual ~TextBox() = default;
  virtual std::string text() const = 0;
  virtual void set_text(std::string_view text) = 0;
};

// A drive list: the volumes of the machine, one of them selected.
class DriveList {
 public:
  virtual ~DriveList() = default;
  // The selected volume (on Windows a drive such as "c:", here a mount point).
  virtual std::string drive() const = 0;
};

// A folder list. Setting `path` to another folder raises its change event at once.
class FolderList {
 public:
  virtual ~FolderList() = default;
  virtual std::string path() const = 0;
  // Moves to `path`; a bare drive goes to that drive's current folder.
  virtual void set_path(std::string_view path) = 0;
};

// A file list: the names in one folder that match a pattern. Setting `path` or `pattern` rebuilds
// the list with nothing selected; setting either to its current value changes nothing.
class FileList {
 public:
  virtual ~FileList() = default;
  virtual std::string path() const = 0;
  virtual void set_path(std::string_view path) = 0;
  virtual std::string pattern() const = 0;
  virtual void set_pattern(std::string_view pattern) = 0;
  // Number of names listed.
  virtual std::size_t list_count() const = 0;
  // The bare name at `index`, counted from 0; index < list_count().
  virtual std::string list(std::size_t index) const = 0;
  // The selected name, or empty when none is selected.
  virtual std::string file_name() const = 0;
};

// Button sets of the message box, by the platform's numbers.
enum class Buttons : int { ok = 0, ok_cancel = 1, yes_no = 4, cancel_try_continue = 6 };

// Result codes of the message box, by the platform's numbers.
namespace answer {
inline constexpr int ok = 1;
inline constexpr int cancel = 2;
inline constexpr int yes = 6;
inline constexpr int no = 7;
inline constexpr int try_again = 10;
inline constexpr int continue_ = 11;
}  // namespace answer

// The modal message box.
class MessageBox {
 public:
  virtual ~MessageBox() = default;
  // Shows `prompt` under `title` with the button set, waits, and returns the pressed button's code.
  virtual int show(std::string_view prompt, Buttons buttons, std::string_view title) = 0;
};

// The platform's event loop, the program's end and the application folder.
class Platform {
 public:
  virtual ~Platform() = default;
  // The folder that holds the executable.
  virtual std::string application_folder() const = 0;
  // Handles the window's pending events (repaints, clicks), then returns.
  virtual void yield() = 0;
  // Ends the program at once: no further handler runs. Never returns.
  [[noreturn]] virtual void end() = 0;
};

// What a run shows of its progress while it lasts: the binding decides when it is worth showing,
// and lets the user ask for the run to stop.
class RunProgress {
 public:
  virtual ~RunProgress() = default;
  // A run of `count` pages begins, under the run's `title`; no stop is asked for yet.
  virtual void begin(std::size_t count, std::string_view title) = 0;
  // The page at `index` (counted from 0), named `name`, is in hand.
  virtual void page(std::size_t index, std::string_view name) = 0;
  // True once the user asked to stop the run.
  virtual bool stop_requested() const = 0;
  // The run is over.
  virtual void end() = 0;
};

// A run progress that shows nothing and never asks for a stop, for a binding without a display of
// its own (the run still ends after the page in hand when the window is closed).
class SilentRunProgress final : public RunProgress {
 public:
  void begin(std::size_t, std::string_view) override {}
  void page(std::size_t, std::string_view) override {}
  bool stop_requested() const override { return false; }
  void end() override {}
};

// Every control of the window and the platform services, as the form's handlers reach them.
struct Controls {
  DriveList& Drive1;
  FolderList& Dir1;
  FileList& File1;
  DriveList& Drive2;
  FolderList& Dir2;
  FileList& File2;
  TextBox& masque;
  TextBox& Text1;
  Label& Label2;
  Label& Label3;
  Label& Label5;
  MessageBox& message_box;
  Platform& platform;
  RunProgress& progress;
};

}  // namespace qv
