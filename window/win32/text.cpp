#include "window/win32/text.h"

#include "window/win32/win32.h"

namespace qv::win32 {
namespace {

std::wstring decode(UINT code_page, DWORD flags, std::string_view bytes) {
  const int length = static_cast<int>(bytes.size());
  const int wide = MultiByteToWideChar(code_page, flags, bytes.data(), length, nullptr, 0);
  if (wide <= 0) return {};
  std::wstring text(static_cast<std::size_t>(wide), L'\0');
  MultiByteToWideChar(code_page, flags, bytes.data(), length, text.data(), wide);
  return text;
}

}  // namespace

std::wstring widen(std::string_view bytes) {
  if (bytes.empty()) return {};
  std::wstring text = decode(CP_UTF8, MB_ERR_INVALID_CHARS, bytes);
  return text.empty() ? decode(CP_ACP, 0, bytes) : text;
}

}  // namespace qv::win32
