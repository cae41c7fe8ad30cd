#pragma once

// In-memory doubles of the window's controls and platform services, for driving the form's
// handlers without a GUI. Setting a value raises the control's event at once, as a real binding
// does, once `connect_form` has wired them to a form (the same wiring as the real windows').

#include <deque>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "window/controls.h"
#include "window/form_events.h"
#include "window/listed_files.h"
#include "window/window_host.h"

namespace qv::testing {

struct FakeLabel : Label {
  std::string value;
  std::string caption() const override { return value; }
  void set_caption(std::string_view caption) override { value = caption; }
};

struct FakeTextBox : TextBox {
  std::string value;
  std::function<void()> on_change;
  int times_set = 0;
  std::string text() const override { return value; }
  void set_text(std::string_view text) override {
    ++times_set;
    if (value == text) return;
    value = text;
    if (on_change) on_change();
  }
};

struct FakeDriveList : DriveList, PaneList {
  std::string value = "/";
  std::function<void()> on_change;
  std::function<void()> before_popup;
  std::string drive() const override { return value; }
  void set_volumes(const std::vector<Volume>&) override {}
  void open_quietly(std::string_view) override {}
  // The user picks another volume.
  void choose(std::string_view drive) {
    value = drive;
    if (on_change) on_change();
  }
};

struct FakeFolderList : FolderList, PaneList {
  std::string value;
  std::function<void()> on_change;
  std::string path() const override { return value; }
  void set_volumes(const std::vector<Volume>&) override {}
  void open_quietly(std::string_view folder) override { value = folder; }
  void set_path(std::string_view path) override {
    if (value == path) return;
    value = path;
    if (on_change) on_change();
  }
};

// A file list over a real folder, listed with the same rules as the real control.
struct FakeFileList : ListedFiles {
  std::ptrdiff_t selected = -1;

  explicit FakeFileList(std::string_view pattern) : ListedFiles(pattern) {}
  std::string file_name() const override {
    return selected < 0 ? std::string() : names().at(static_cast<std::size_t>(selected));
  }
  void show_names() override { selected = -1; }
  // The user clicks the name at `index`.
  void click(std::size_t index) {
    selected = static_cast<std::ptrdiff_t>(index);
    if (on_click) on_click();
  }
};

// A button: the user presses it.
struct FakeButton {
  std::function<void()> on_click;
  void press() {
    if (on_click) on_click();
  }
};

// A message box answered from a script; every box shown is recorded.
struct ScriptedMessageBox : MessageBox {
  struct Shown {
    std::string prompt;
    Buttons buttons;
    std::string title;
  };
  std::vector<Shown> shown;
  std::deque<int> answers;  // consumed in order; once empty, the first button's code
  std::function<void()> while_shown;

  int show(std::string_view prompt, Buttons buttons, std::string_view title) override {
    shown.push_back({std::string(prompt), buttons, std::string(title)});
    if (while_shown) while_shown();
    if (!answers.empty()) {
      int answer = answers.front();
      answers.pop_front();
      return answer;
    }
    switch (buttons) {
      case Buttons::yes_no:
        return answer::yes;
      case Buttons::cancel_try_continue:
        return answer::cancel;
      default:
        return answer::ok;
    }
  }
};

// Thrown by FakePlatform::end so that a test sees the program end where it happens.
struct ProgramEnded : std::runtime_error {
  ProgramEnded() : std::runtime_error("program ended") {}
};

struct FakePlatform : Platform {
  std::string app_folder = "/nonexistent-app-folder/";
  int yields = 0;
  bool ended = false;
  std::function<void()> during_yield;

  std::string application_folder() const override { return app_folder; }
  void yield() override {
    ++yields;
    if (during_yield) during_yield();
  }
  [[noreturn]] void end() override {
    ended = true;
    throw ProgramEnded();
  }
};

// Records a run's progress; `stop_at` asks for the stop once that page is in hand.
struct FakeRunProgress : RunProgress {
  std::vector<std::string> names;  // the pages in hand, in order
  std::optional<std::size_t> stop_at;
  int ends = 0;

  void begin(std::size_t, std::string_view) override { names.clear(); }
  void page(std::size_t, std::string_view name) override { names.emplace_back(name); }
  bool stop_requested() const override { return stop_at && names.size() > *stop_at; }
  void end() override { ++ends; }
};

// The whole window as doubles, with design-time values, wired to a form as every binding is.
struct FakeWindow : WindowHost {
  FakeDriveList Drive1, Drive2;
  FakeFolderList Dir1, Dir2;
  FakeFileList File1{"framec*.html"};
  FakeFileList File2{"*.txt"};
  FakeTextBox masque, Text1;
  FakeLabel Label2, Label3, Label5;
  FakeButton Command1, Command2, Command3, Command4, Command5;
  ScriptedMessageBox message_box;
  FakePlatform platform;
  FakeRunProgress progress;
  int handlers_run = 0;  // handlers raised through the wiring

  FakeWindow() : WindowHost([] { return std::vector<Volume>{{"/", ""}}; }) {
    masque.value = "framec*.htm";
    Text1.value = "Text1";
    Label2.value = "Label2";
    Label3.value = "Label1";
    Label5.value = "Label5";
    bind("Drive1", bound_to(Drive1));
    bind("Drive2", bound_to(Drive2));
    bind("Dir1", bound_to(Dir1));
    bind("Dir2", bound_to(Dir2));
    bind("File1", bound_to(File1));
    bind("File2", bound_to(File2));
    bind("masque", bound_to(masque));
    bind("Text1", bound_to(Text1));
    bind("Label2", bound_to(Label2));
    bind("Label3", bound_to(Label3));
    bind("Label5", bound_to(Label5));
    bind("Command1", bound_to(Command1));
    bind("Command2", bound_to(Command2));
    bind("Command3", bound_to(Command3));
    bind("Command4", bound_to(Command4));
    bind("Command5", bound_to(Command5));
    bind_services(message_box, platform, progress);
  }

 protected:
  void run_handler(const std::function<void()>& handler) override {
    ++handlers_run;
    handler();
  }
};

}  // namespace qv::testing
