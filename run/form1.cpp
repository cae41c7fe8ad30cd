#include "run/form1.h"

#include <span>
#include <vector>

#include "batch/page_batch.h"
#include "engine/insertion.h"
#include "engine/marker.h"
#include "run/messages.h"
#include "system/file_io.h"
#include "system/stop_requests.h"
#include "text/ascii.h"
#include "text/path.h"
#include "window/number_form.h"

namespace qv {
namespace {

// The paths of a run's pages, taken from the page list once when the run starts: what the window
// does while the run yields (another folder, another pattern) applies to the next run.
// `names` receives the bare names, for the progress display.
std::vector<std::string> take_pages(const FileList& list, std::size_t count,
                                    std::vector<std::string>& names) {
  const std::string folder = list.path();
  std::vector<std::string> paths;
  paths.reserve(count);
  names.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    names.push_back(list.list(i));
    paths.push_back(folder_join(folder, names.back()));
  }
  return paths;
}

}  // namespace

void Form1::ajout_quorvane(std::string& content, const std::string& tag, const std::string& text) {
  if (insert_in_place(content, tag, text)) ++state_.upgraded_count;
  c_.Text1.set_text(content);
}

void Form1::verif(const std::string& text, const std::string& marker) {
  if (holds_marker(text, marker)) return;
  c_.message_box.show(message::kNotQuorvane, Buttons::ok_cancel, message::kMarkerTitle);
  c_.platform.end();
}

void Form1::Command1_Click() {
  if (run_in_progress()) return;
  state_.text_file_path = trim(c_.Label3.caption());
  if (state_.text_file_path.empty()) {
    c_.message_box.show(message::kNoFileToInsert, Buttons::ok, message::kLoadTitle);
    return;
  }
  std::string loaded;
  if (std::optional<IoError> error = read_file(state_.text_file_path, loaded)) {
    // Nothing to insert: the processing that follows must not touch a page, and the report
    // that follows counts none.
    state_.text_file_path.clear();
    state_.upgraded_count = 0;
    c_.message_box.show(text_file_error_prompt(*error), Buttons::ok, message::kFileErrorTitle);
    return;
  }
  state_.insert_text = std::move(loaded);
  c_.Text1.set_text(state_.insert_text);
}

// Lets the window's run go through the shared page loop: each page becomes file_text and is
// handed to ajout_quorvane after a yield to the event loop, and is written back only when it
// received the text.
class Form1::RunEditor : public PageEditor {
 public:
  RunEditor(Form1& form, std::span<const std::string> names) : form_(form), names_(names) {}

  // Pages are read straight into file_text, with room for the text: the page is held once.
  std::optional<PageStore> page_store() override {
    const FormState& state = form_.state_;
    return PageStore{&form_.state_.file_text, framed_size(state.insert_text)};
  }

  std::optional<std::vector<std::string_view>> edit(std::size_t index, std::string_view) override {
    FormState& state = form_.state_;
    form_.c_.progress.page(index, names_[index]);
    form_.c_.platform.yield();
    const std::int64_t before = state.upgraded_count;
    form_.ajout_quorvane(state.file_text, state.tag_text, state.insert_text);
    if (state.upgraded_count == before) return std::nullopt;
    return std::vector<std::string_view>{state.file_text};
  }

  // A stop request (SIGTERM) during the run acts as the close box does; Stop, like them, lets the
  // page in hand finish.
  bool stop_requested() const override {
    return form_.run_ == RunState::closing || stop_request() != StopRequest::none ||
           form_.c_.progress.stop_requested();
  }

 private:
  Form1& form_;
  std::span<const std::string> names_;
};

void Form1::Command2_Click() {
  if (run_in_progress() || state_.text_file_path.empty()) return;
  // verif says why and ends the program when the check refuses the text.
  if (!passes_marker_check(state_.insert_text, state_.verification_on))
    verif(state_.insert_text, std::string(kInsertionMarker));

  const std::size_t count = c_.File1.list_count();
  c_.Label5.set_caption(plain_form(static_cast<std::int64_t>(count)));
  state_.upgraded_count = 0;
  std::vector<std::string> names;
  const std::vector<std::string> pages = take_pages(c_.File1, count, names);

  run_ = RunState::running;
  BatchResult result;
  {
    // The progress goes away with the run, even one that the program's end cuts short.
    struct ProgressShown {
      RunProgress& progress;
      ~ProgressShown() { progress.end(); }
    } shown{c_.progress};
    c_.progress.begin(count, message::kGoTitle);
    RunEditor editor(*this, names);
    result = rewrite_pages(pages, editor, WriteMode::write, observer_);
  }
  // Stop ends the run only; closing the window or a stop request ends the program too.
  const bool closing = run_ == RunState::closing || stop_request() != StopRequest::none;
  run_ = RunState::idle;

  // Counted as the text went in; a page edited twice (it changed meanwhile) or not written in
  // the end (the run stopped at it or before it) counts for what was written.
  state_.upgraded_count = static_cast<std::int64_t>(result.written);
  if (result.failure) {
    c_.message_box.show(
        page_error_prompt(result.failure->error, result.failure->access, state_.upgraded_count),
        Buttons::ok, message::kFileErrorTitle);
  }
  if (result.sync_error)
    c_.message_box.show(sync_error_prompt(*result.sync_error), Buttons::ok,
                        message::kFileErrorTitle);
  if (!result.notes.empty())
    c_.message_box.show(not_kept_prompt(result.notes), Buttons::ok, message::kGoTitle);
  if (closing) c_.platform.end();
}

void Form1::Command3_Click() {
  if (run_in_progress()) return;
  const auto count = static_cast<std::int64_t>(c_.File1.list_count());
  if (state_.tag_text.empty()) {
    c_.message_box.show(
        std::string(message::kBadTag) + signed_form(count) + std::string(message::kFiles),
        Buttons::cancel_try_continue, message::kGoTitle);
    return;
  }
  const int answer = c_.message_box.show(
      std::string(message::kConfirm) + signed_form(count) + std::string(message::kFiles),
      Buttons::yes_no, message::kGoTitle);
  if (answer == answer::no) return;
  Command1_Click();
  Command2_Click();
  c_.message_box.show(signed_form(state_.upgraded_count) + std::string(message::kUpgraded),
                      Buttons::ok_cancel, message::kGoTitle);
}

bool Form1::Form_QueryUnload() {
  if (!run_in_progress()) return true;
  run_ = RunState::closing;
  return false;
}

}  // namespace qv
