// The drives of the machine, from GetLogicalDriveStringsW, each with its volume label.
#include "system/volumes.h"

#include "system/win32/wide.h"

namespace qv {

std::vector<Volume> list_volumes() {
  win32::quiet_drive_errors();
  std::vector<Volume> volumes;
  std::wstring roots(::GetLogicalDriveStringsW(0, nullptr), L'\0');
  const DWORD length = ::GetLogicalDriveStringsW(static_cast<DWORD>(roots.size()), roots.data());
  roots.resize(length <= roots.size() ? length : 0);
  for (std::size_t start = 0; start < roots.size();) {
    const std::size_t end = roots.find(L'\0', start);
    const std::wstring root = roots.substr(start, end - start);
    start = end == std::wstring::npos ? roots.size() : end + 1;
    if (root.empty()) continue;
    // A drive that is not ready (no disc, no card) has no label to read and stays listed.
    wchar_t label[MAX_PATH + 1] = {};
    if (!::GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr,
                                 nullptr, 0))
      label[0] = L'\0';
    volumes.push_back({win32::to_utf8(root), win32::to_utf8(label)});
  }
  if (volumes.empty()) volumes.push_back({"C:\\", ""});
  return volumes;
}

std::string drive_caption(const Volume& volume) {
  std::string caption = volume.mount_point;
  if (caption.size() >= 2 && caption[1] == ':') {
    caption.resize(2);
    if (caption[0] >= 'A' && caption[0] <= 'Z') caption[0] = static_cast<char>(caption[0] + 32);
  }
  if (!volume.label.empty()) caption += " [" + volume.label + "]";
  return caption;
}

}  // namespace qv
