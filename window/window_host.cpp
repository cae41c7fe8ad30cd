#include "window/window_host.h"

#include <stdexcept>
#include <string>
#include <utility>

#include "window/control_table.h"

namespace qv {
namespace {

std::size_t row_number(std::string_view name) {
  const ControlSpec* row = find_control(name);
  if (row == nullptr) throw std::logic_error("no control named " + std::string(name));
  return static_cast<std::size_t>(row - control_table().data());
}

// The interface a handler needs of a control; a binding that bound another kind there is wrong.
template <typename Interface>
Interface& must(Interface* control, std::string_view name) {
  if (control == nullptr) throw std::logic_error("control not bound: " + std::string(name));
  return *control;
}

}  // namespace

WindowHost::WindowHost(std::function<std::vector<Volume>()> volumes)
    : volumes_(std::move(volumes)), controls_(control_table().size()) {}

void WindowHost::bind(std::string_view name, BoundControl control) {
  controls_.at(row_number(name)) = control;
}

void WindowHost::bind_services(MessageBox& message_box, Platform& platform, RunProgress& progress) {
  message_box_ = &message_box;
  platform_ = &platform;
  progress_ = &progress;
}

const BoundControl& WindowHost::bound(std::string_view name) const {
  return controls_.at(row_number(name));
}

Controls WindowHost::controls() const {
  return Controls{must(bound("Drive1").drive_list, "Drive1"),
                  must(bound("Dir1").folder_list, "Dir1"),
                  must(bound("File1").file_list, "File1"),
                  must(bound("Drive2").drive_list, "Drive2"),
                  must(bound("Dir2").folder_list, "Dir2"),
                  must(bound("File2").file_list, "File2"),
                  must(bound("masque").text_box, "masque"),
                  must(bound("Text1").text_box, "Text1"),
                  must(bound("Label2").label, "Label2"),
                  must(bound("Label3").label, "Label3"),
                  must(bound("Label5").label, "Label5"),
                  must(message_box_, "the message box"),
                  must(platform_, "the platform"),
                  must(progress_, "the run progress")};
}

void WindowHost::connect_form(FormEvents& form) {
  form_ = &form;
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    const ControlSpec& row = control_table()[i];
    if (row.raises == nullptr) continue;
    must(controls_[i].event, row.name) = [this, handler = row.raises] { raise(handler); };
  }
}

void WindowHost::raise(void (FormEvents::*handler)()) {
  if (form_ == nullptr) return;
  FormEvents& form = *form_;
  run_handler([&form, handler] { (form.*handler)(); });
}

void WindowHost::open_on(std::string_view folder) {
  for (const char* pane : {"1", "2"}) {
    const std::string drives = "Drive" + std::string(pane), folders = "Dir" + std::string(pane);
    must(bound(drives).pane, drives).open_quietly(folder);
    must(bound(folders).pane, folders).open_quietly(folder);
    const std::string files = "File" + std::string(pane);
    must(bound(files).file_list, files).set_path(must(bound(folders).folder_list, folders).path());
  }
}

void WindowHost::watch_volumes() {
  refresh_volumes();
  for (const char* drives : {"Drive1", "Drive2"})
    must(bound(drives).before_popup, drives) = [this] { refresh_volumes(); };
}

void WindowHost::refresh_volumes() {
  const std::vector<Volume> volumes = volumes_();
  for (const char* name : {"Drive1", "Dir1", "Drive2", "Dir2"})
    must(bound(name).pane, name).set_volumes(volumes);
}

bool WindowHost::query_unload() {
  bool may_close = true;
  if (form_ != nullptr) run_handler([this, &may_close] { may_close = form_->Form_QueryUnload(); });
  return may_close;
}

}  // namespace qv
