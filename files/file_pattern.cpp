#include "files/file_pattern.h"

#include "text/ascii.h"

namespace qv {
namespace {

// Wildcard match with backtracking to the last '*': linear in practice, never exponential.
bool matches_one(std::string_view name, std::string_view pattern) {
  std::size_t n = 0, p = 0;
  std::size_t star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() &&
        (pattern[p] == '?' || ascii_lower(pattern[p]) == ascii_lower(name[n]))) {
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

}  // namespace

bool matches_pattern(std::string_view name, std::string_view pattern) {
  while (true) {
    std::size_t end = pattern.find(';');
    std::string_view one = trim(pattern.substr(0, end));
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
