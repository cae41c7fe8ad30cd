#include "window/qt/platform.h"

#include <QCoreApplication>

#include "system/file_io.h"

namespace qv::qt {

std::string QtPlatform::application_folder() const { return qv::application_folder(); }

void QtPlatform::yield() {
  gate_.nested_loop([this] {
    if (during_yield) during_yield();
    QCoreApplication::processEvents();
  });
}

}  // namespace qv::qt
