#include "system/command_line.h"

// <windows.h> must come before <shellapi.h>.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include "system/win32/wide.h"

namespace qv {

std::vector<std::string> program_arguments(int argc, char** argv) {
  ::SetConsoleOutputCP(CP_UTF8);
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr)  // out of memory: the narrow arguments are better than none
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(win32::to_utf8(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

}  // namespace qv
