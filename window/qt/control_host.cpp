#include "window/qt/control_host.h"

#include <algorithm>
#include <utility>

#include <QCloseEvent>
#include <QIcon>
#include <QTimer>

#include "files/stop_requests.h"
#include "window/control_table.h"
#include "window/qt/list_controls.h"
#include "window/qt/text_controls.h"

namespace qv::qt {
namespace {

// A text box taller than a single line of text shows several lines.
constexpr int kOneLineTwips = 495;

// How often an idle window looks for a stop request; a run looks after each page.
constexpr int kStopWatchMilliseconds = 100;

QString from_ascii(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QWidget* create_control(const ControlSpec& row, QWidget* parent) {
  switch (row.kind) {
    case ControlKind::button:
      return new CommandButton(to_display(row.text), parent);
    case ControlKind::text_box:
      if (row.height > kOneLineTwips) return new DocumentTextBox(row.text, parent);
      return new LineTextBox(row.text, parent);
    case ControlKind::file_list:
      return new FileListBox(row.text, parent);
    case ControlKind::folder_list:
      return new FolderListBox(parent);
    case ControlKind::drive_list:
      return new DriveComboBox(parent);
    case ControlKind::label:
      return new LabelBox(row.text, parent);
  }
  return new QWidget(parent);
}

}  // namespace

ControlHost::ControlHost(std::function<std::vector<Volume>()> volumes)
    : message_box_(this, &gate_), platform_(gate_), progress_(this), volumes_(std::move(volumes)) {
  setWindowTitle(from_ascii(kWindowCaption));
  setWindowIcon(QIcon(QStringLiteral(":/quorvane/quorvane.ico")));
  setFixedSize(twips_to_pixels(kClientWidthTwips), twips_to_pixels(kClientHeightTwips));

  std::vector<std::pair<int, QWidget*>> focus_chain;
  for (const ControlSpec& row : control_table()) {
    QWidget* control = create_control(row, this);
    control->setObjectName(from_ascii(row.name));
    control->setGeometry(twips_to_pixels(row.left), twips_to_pixels(row.top),
                         twips_to_pixels(row.width), twips_to_pixels(row.height));
    if (takes_focus(row.kind)) focus_chain.emplace_back(row.tab_index, control);
  }
  std::sort(focus_chain.begin(), focus_chain.end());
  for (std::size_t i = 1; i < focus_chain.size(); ++i)
    setTabOrder(focus_chain[i - 1].second, focus_chain[i].second);

  refresh_volumes();
  named<DriveComboBox>("Drive1").before_popup = [this] { refresh_volumes(); };
  named<DriveComboBox>("Drive2").before_popup = [this] { refresh_volumes(); };
  named<QWidget>("Drive1").setFocus();
  // The path labels keep the file name in sight however deep the folder.
  named<LabelBox>("Label2").set_elision(Elision::middle);
  named<LabelBox>("Label3").set_elision(Elision::middle);
  // Text1 lies outside the client area and lays its text out only on demand: once the handlers
  // are done (a run over, a text loaded), it shows the last text handled.
  gate_.on_settled = [this] { named<DocumentTextBox>("Text1").display(); };
}

ControlHost::~ControlHost() = default;

template <typename Control>
Control& ControlHost::named(std::string_view name) const {
  auto* control = findChild<QWidget*>(from_ascii(name), Qt::FindDirectChildrenOnly);
  return dynamic_cast<Control&>(*control);
}

Controls ControlHost::controls() {
  return Controls{named<DriveList>("Drive1"),
                  named<FolderList>("Dir1"),
                  named<FileList>("File1"),
                  named<DriveList>("Drive2"),
                  named<FolderList>("Dir2"),
                  named<FileList>("File2"),
                  named<TextBox>("masque"),
                  named<TextBox>("Text1"),
                  named<Label>("Label2"),
                  named<Label>("Label3"),
                  named<Label>("Label5"),
                  message_box_,
                  platform_,
                  progress_};
}

void ControlHost::raise(void (FormEvents::*handler)()) {
  if (form_ == nullptr) return;
  FormEvents& form = *form_;
  gate_.raise(std::function<void()>([&form, handler] { (form.*handler)(); }));
}

void ControlHost::connect_form(FormEvents& form) {
  form_ = &form;
  auto raiser = [this](void (FormEvents::*handler)()) {
    return [this, handler] { raise(handler); };
  };
  named<CommandButton>("Command1").on_click = raiser(&FormEvents::Command1_Click);
  named<CommandButton>("Command2").on_click = raiser(&FormEvents::Command2_Click);
  named<CommandButton>("Command3").on_click = raiser(&FormEvents::Command3_Click);
  named<CommandButton>("Command4").on_click = raiser(&FormEvents::Command4_Click);
  named<CommandButton>("Command5").on_click = raiser(&FormEvents::Command5_Click);
  named<DriveComboBox>("Drive1").on_change = raiser(&FormEvents::Drive1_Change);
  named<DriveComboBox>("Drive2").on_change = raiser(&FormEvents::Drive2_Change);
  named<FolderListBox>("Dir1").on_change = raiser(&FormEvents::Dir1_Change);
  named<FolderListBox>("Dir2").on_change = raiser(&FormEvents::Dir2_Change);
  named<FileListBox>("File1").on_click = raiser(&FormEvents::File1_Click);
  named<FileListBox>("File2").on_click = raiser(&FormEvents::File2_Click);
  named<LineTextBox>("masque").on_change = raiser(&FormEvents::masque_Change);

  // A stop request (SIGTERM) closes the window as its close box would: at once, or during a run
  // after the page in hand.
  auto* stop_watch = new QTimer(this);
  connect(stop_watch, &QTimer::timeout, this, [this] {
    if (stop_request() == StopRequest::none) return;
    gate_.raise([this] {
      if (form_->Form_QueryUnload()) platform_.end();
    });
  });
  stop_watch->start(kStopWatchMilliseconds);
}

void ControlHost::open_on(std::string_view folder) {
  for (const char* pane : {"1", "2"}) {
    const std::string n(pane);
    named<DriveComboBox>("Drive" + n).select_quietly(folder);
    auto& folders = named<FolderListBox>("Dir" + n);
    folders.open_quietly(folder);
    named<FileListBox>("File" + n).set_path(folders.path());
  }
}

void ControlHost::refresh_volumes() {
  const std::vector<Volume> volumes = volumes_();
  std::vector<std::string> mount_points;
  for (const Volume& volume : volumes) mount_points.push_back(volume.mount_point);
  for (const char* pane : {"1", "2"}) {
    const std::string n(pane);
    named<DriveComboBox>("Drive" + n).set_volumes(volumes);
    named<FolderListBox>("Dir" + n).set_drives(mount_points);
  }
}

void ControlHost::closeEvent(QCloseEvent* event) {
  bool may_close = true;
  if (form_ != nullptr) gate_.raise([this, &may_close] { may_close = form_->Form_QueryUnload(); });
  if (may_close)
    event->accept();
  else
    event->ignore();
}

}  // namespace qv::qt
