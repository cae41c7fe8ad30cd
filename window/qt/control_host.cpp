#include "window/qt/control_host.h"

#include <algorithm>
#include <utility>

#include <QCloseEvent>
#include <QIcon>
#include <QTimer>

#include "system/stop_requests.h"
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

// Creates the control of `row`, and says how the handlers reach it.
template <typename Control, typename... Arguments>
Control* make(BoundControl& bound, Arguments&&... arguments) {
  auto* control = new Control(std::forward<Arguments>(arguments)...);
  bound = bound_to(*control);
  return control;
}

QWidget* create_control(const ControlSpec& row, QWidget* parent, BoundControl& bound) {
  switch (row.kind) {
    case ControlKind::button:
      return make<CommandButton>(bound, to_display(row.text), parent);
    case ControlKind::text_box:
      if (row.height > kOneLineTwips) return make<DocumentTextBox>(bound, row.text, parent);
      return make<LineTextBox>(bound, row.text, parent);
    case ControlKind::file_list:
      return make<FileListBox>(bound, row.text, parent);
    case ControlKind::folder_list:
      return make<FolderListBox>(bound, parent);
    case ControlKind::drive_list:
      return make<DriveComboBox>(bound, parent);
    case ControlKind::label:
      return make<LabelBox>(bound, row.text, parent);
  }
  return new QWidget(parent);
}

}  // namespace

ControlHost::ControlHost(std::function<std::vector<Volume>()> volumes)
    : WindowHost(std::move(volumes)),
      message_box_(this, &gate_),
      platform_(gate_),
      progress_(this) {
  bind_services(message_box_, platform_, progress_);
  setWindowTitle(from_ascii(kWindowCaption));
  setWindowIcon(QIcon(QStringLiteral(":/quorvane/quorvane.ico")));
  setFixedSize(twips_to_pixels(kClientWidthTwips), twips_to_pixels(kClientHeightTwips));

  std::vector<std::pair<int, QWidget*>> focus_chain;
  for (const ControlSpec& row : control_table()) {
    BoundControl bound;
    QWidget* control = create_control(row, this, bound);
    bind(row.name, bound);
    control->setObjectName(from_ascii(row.name));
    control->setGeometry(twips_to_pixels(row.left), twips_to_pixels(row.top),
                         twips_to_pixels(row.width), twips_to_pixels(row.height));
    if (takes_focus(row.kind)) focus_chain.emplace_back(row.tab_index, control);
  }
  std::sort(focus_chain.begin(), focus_chain.end());
  for (std::size_t i = 1; i < focus_chain.size(); ++i)
    setTabOrder(focus_chain[i - 1].second, focus_chain[i].second);

  watch_volumes();
  named<QWidget>("Drive1").setFocus();
  // The path labels keep the file name in sight however deep the folder.
  named<LabelBox>("Label2").set_elision(Elision::middle);
  named<LabelBox>("Label3").set_elision(Elision::middle);
  // Text1 lies outside the client area and lays its text out only on demand: once the handlers
  // are done (a run over, a text loaded), it shows the last text handled.
  gate_.on_settled = [this] { named<DocumentTextBox>("Text1").display(); };
  start_stop_watch();
}

ControlHost::~ControlHost() = default;

template <typename Control>
Control& ControlHost::named(std::string_view name) const {
  auto* control = findChild<QWidget*>(from_ascii(name), Qt::FindDirectChildrenOnly);
  return dynamic_cast<Control&>(*control);
}

void ControlHost::run_handler(const std::function<void()>& handler) { gate_.raise(handler); }

void ControlHost::start_stop_watch() {
  // A stop request (SIGTERM) closes the window as its close box would: at once, or during a run
  // after the page in hand.
  auto* stop_watch = new QTimer(this);
  connect(stop_watch, &QTimer::timeout, this, [this] {
    if (stop_request() == StopRequest::none) return;
    if (query_unload()) gate_.raise([this] { platform_.end(); });
  });
  stop_watch->start(kStopWatchMilliseconds);
}

void ControlHost::closeEvent(QCloseEvent* event) {
  if (query_unload())
    event->accept();
  else
    event->ignore();
}

}  // namespace qv::qt
