// Windows counterpart of run_program: CreateProcessW with the standard streams redirected to
// temporary files.
#include <windows.h>

#include "system/win32/wide.h"
#include "tests/support/run_program.h"

namespace qv::testing {
namespace {

// One argument quoted the way the C runtime splits a command line back into arguments.
std::wstring quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

// A temporary file that other handles may inherit, deleted when closed.
HANDLE inheritable_temporary() {
  wchar_t folder[MAX_PATH + 1];
  wchar_t name[MAX_PATH + 1];
  if (::GetTempPathW(MAX_PATH + 1, folder) == 0 || ::GetTempFileNameW(folder, L"qv", 0, name) == 0)
    return INVALID_HANDLE_VALUE;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return ::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherit, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

// What the program wrote, its CR LF line ends made LF and its backslash separators '/'.
std::string contents(HANDLE file) {
  std::string text;
  ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  char chunk[4096];
  DWORD got = 0;
  while (::ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    plain += text[i] == '\\' ? '/' : text[i];
  }
  return plain;
}

}  // namespace

ProgramOutput run_program(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& working_folder, Output output,
                          const std::function<void(int)>& while_running) {
  HANDLE out = inheritable_temporary(), err = inheritable_temporary();
  HANDLE pipe_read = nullptr, pipe_write = nullptr;
  if (output == Output::closed_pipe) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    if (::CreatePipe(&pipe_read, &pipe_write, &inherit, 0)) ::CloseHandle(pipe_read);
  }
  std::wstring command_line = quoted(win32::to_wide(program));
  for (const std::string& argument : arguments)
    command_line += L" " + quoted(win32::to_wide(argument));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = output == Output::closed_pipe ? pipe_write : out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  ProgramOutput result;
  const std::wstring folder = win32::to_wide(working_folder);
  if (::CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       folder.c_str(), &startup, &process)) {
    if (pipe_write != nullptr) ::CloseHandle(pipe_write);
    pipe_write = nullptr;
    if (while_running) while_running(static_cast<int>(process.dwProcessId));
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (::GetExitCodeProcess(process.hProcess, &code)) result.exit_code = static_cast<int>(code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  const DWORD start_error = process.hProcess == nullptr ? ::GetLastError() : 0;
  if (pipe_write != nullptr) ::CloseHandle(pipe_write);
  result.out = contents(out);
  result.err = contents(err);
  // A program that could not be started says why, where its own messages would be.
  if (start_error != 0)
    result.err = "cannot start " + program + ": " + win32::error_text(start_error);
  ::CloseHandle(out);
  ::CloseHandle(err);
  return result;
}

std::string missing_file_reason() { return win32::error_text(ERROR_FILE_NOT_FOUND); }
std::string access_denied_reason() { return win32::error_text(ERROR_ACCESS_DENIED); }

}  // namespace qv::testing
