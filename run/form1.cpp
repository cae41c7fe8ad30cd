#include "run/form1.h"

#include <vector>

#include "engine/insertion.h"
#include "engine/marker.h"
#include "files/file_io.h"
#include "files/path.h"
#include "run/messages.h"
#include "window/number_form.h"

namespace qv {
namespace {

// The pages of a run, taken from the page list once when the run starts: what the window does
// while the run yields (another folder, another pattern) applies to the next run.
struct PageList {
  std::string folder;
  std::vector<std::string> names;
};

PageList take_pages(const FileList& list, std::size_t count) {
  PageList pages{list.path(), {}};
  pages.names.reserve(count);
  for (std::size_t i = 0; i < count; ++i) pages.names.push_back(list.list(i));
  return pages;
}

}  // namespace

void Form1::ajout_quorvane(std::string& content, const std::string& tag, const std::string& text) {
  if (std::optional<Insertion> insertion = insert_before_last(content, tag, text)) {
    content = insertion->joined();
    ++state_.upgraded_count;
  }
  c_.Text1.set_text(content);
}

void Form1::verif(const std::string& text, const std::string& marker) {
  if (holds_marker(text, marker)) return;
  c_.message_box.show(message::kNotQuorvane, Buttons::ok_cancel, message::kMarkerTitle);
  c_.platform.end();
}

void Form1::Command1_Click() {
  if (run_in_progress()) return;
  state_.text_file_path = trim_spaces(c_.Label3.caption());
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

void Form1::Command2_Click() {
  if (run_in_progress() || state_.text_file_path.empty()) return;
  if (state_.verification_on == MarkerCheck::on)
    verif(state_.insert_text, std::string(kInsertionMarker));

  const std::size_t count = c_.File1.list_count();
  c_.Label5.set_caption(plain_form(static_cast<std::int64_t>(count)));
  state_.upgraded_count = 0;
  const PageList pages = take_pages(c_.File1, count);

  run_ = RunState::running;
  bool wrote = false;
  for (const std::string& name : pages.names) {
    const std::string path = folder_join(pages.folder, name);
    if (std::optional<IoError> error = read_file(path, state_.file_text)) {
      c_.message_box.show(page_error_prompt(*error, PageAccess::read), Buttons::ok,
                          message::kFileErrorTitle);
      break;
    }
    c_.platform.yield();
    const std::int64_t before = state_.upgraded_count;
    ajout_quorvane(state_.file_text, state_.tag_text, state_.insert_text);
    // A page that did not receive the text is left alone: bytes, inode and times unchanged.
    if (state_.upgraded_count != before) {
      if (std::optional<IoError> error = replace_file(path, state_.file_text)) {
        state_.upgraded_count = before;
        c_.message_box.show(page_error_prompt(*error, PageAccess::write), Buttons::ok,
                            message::kFileErrorTitle);
        break;
      }
      wrote = true;
    }
    if (run_ == RunState::closing) break;
  }
  // The count is reported only once the rewritten pages are on stable storage.
  if (wrote) {
    if (std::optional<IoError> error = sync_file_system(pages.folder))
      c_.message_box.show(page_error_prompt(*error, PageAccess::write), Buttons::ok,
                          message::kFileErrorTitle);
  }
  const bool closing = run_ == RunState::closing;
  run_ = RunState::idle;
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
