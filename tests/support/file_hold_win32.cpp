#include <windows.h>

#include "system/win32/wide.h"
#include "tests/support/file_hold.h"

namespace qv::testing {

FileHold::FileHold(const std::string& path)
    : handle_(::CreateFileW(win32::to_wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr)) {}

FileHold::~FileHold() {
  if (held()) ::CloseHandle(handle_);
}

bool FileHold::held() const { return handle_ != INVALID_HANDLE_VALUE; }

}  // namespace qv::testing
