#include "files/file_pattern.h"

namespace qv {
namespace {

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Wildcard match with backtracking to the last '*': linear in practice, never exponential.
bool matches_one(std::string_view name, std::string_view pattern) {
  std::size_t n = 0, p = 0;
  std::size_t star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || fold(pattern[p]) == fold(name[n]))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::string_view trim_spaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

bool matches_pattern(std::string_view name, std::string_view pattern) {
  while (true) {
    std::size_t end = pattern.find(';');
    std::string_view one = trim_spaces(pattern.substr(0, end));
    if (!one.empty()) {
      if (matches_one(name, one)) return true;
      if (one.ends_with(".*") && name.find('.') == std::string_view::npos &&
          matches_one(name, one.substr(0, one.size() - 2)))
        return true;
    }
    if (end == std::string_view::npos) return false;
    pattern.remove_prefix(end + 1);
  }
}

}  // namespace qv
