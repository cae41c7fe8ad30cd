#include "files/folder_listing.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "files/file_pattern.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

enum class EntryKind { file, folder };

template <typename Accept>
std::vector<std::string> list_entries(const std::string& folder, EntryKind kind, Accept accept) {
  std::vector<std::string> names;
  std::error_code error;
  fs::directory_iterator it(fs::path(folder), fs::directory_options::skip_permission_denied, error);
  for (; !error && it != fs::directory_iterator(); it.increment(error)) {
    std::string name = it->path().filename().string();
    if (name.empty() || name.front() == '.') continue;
    if (!accept(name)) continue;
    std::error_code type_error;
    bool wanted =
        kind == EntryKind::file ? it->is_regular_file(type_error) : it->is_directory(type_error);
    if (wanted && !type_error) names.push_back(std::move(name));
  }
  sort_names(names);
  return names;
}

}  // namespace

void sort_names(std::vector<std::string>& names) {
  auto folded_less = [](const std::string& a, const std::string& b) {
    auto fold = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; };
    auto ia = a.begin(), ib = b.begin();
    for (; ia != a.end() && ib != b.end(); ++ia, ++ib) {
      int ca = fold(static_cast<unsigned char>(*ia)), cb = fold(static_cast<unsigned char>(*ib));
      if (ca != cb) return ca < cb;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
  };
  std::sort(names.begin(), names.end(), folded_less);
}

std::vector<std::string> list_files(const std::string& folder, std::string_view pattern) {
  return list_entries(folder, EntryKind::file, [pattern](const std::string& name) {
    return matches_pattern(name, pattern);
  });
}

std::vector<std::string> list_subfolders(const std::string& folder) {
  return list_entries(folder, EntryKind::folder, [](const std::string&) { return true; });
}

}  // namespace qv
