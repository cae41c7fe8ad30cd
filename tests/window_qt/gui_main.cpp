// The GUI tests' main: the application object first, on the offscreen platform unless another one
// is asked for, so that the tests (and their listing at build time) need no display.
#include <gtest/gtest.h>

#include <QApplication>

namespace {

// The offscreen platform warns that it cannot resize a window to its size hints, once per box;
// that says nothing about the tests.
QtMessageHandler standard_handler = nullptr;

void quiet_offscreen_warnings(QtMsgType type, const QMessageLogContext& context,
                              const QString& message) {
  if (message.contains(QStringLiteral("propagateSizeHints"))) return;
  standard_handler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
  standard_handler = qInstallMessageHandler(quiet_offscreen_warnings);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
