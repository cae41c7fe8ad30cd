#include "text/file_pattern.h"

#include "text/ascii.h"
#include "text/case_fold.h"

namespace qv {
namespace {

// One character of a name or pattern: its case folding and its length in bytes. Names are taken
// as UTF-8; a byte that does not begin a valid sequence is a character of its own, which matches
// only the same byte.
struct Char {
  char32_t folded;
  std::size_t size;
};

constexpr char32_t kStrayByte = 0x110000;  // above every code point

Char char_at(std::string_view s, std::size_t at) {
  const auto lead = static_cast<unsigned char>(s[at]);
  if (lead < 0x80) return {fold_case(lead), 1};
  const Char stray{kStrayByte + lead, 1};
  std::size_t size = 0;
  char32_t value = 0;
  char32_t lowest = 0;  // smaller values are overlong forms
  if (lead >= 0xC2 && lead <= 0xDF) {
    size = 2, value = lead & 0x1F, lowest = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    size = 3, value = lead & 0x0F, lowest = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    size = 4, value = lead & 0x07, lowest = 0x10000;
  } else {
    return stray;
  }
  if (s.size() - at < size) return stray;
  for (std::size_t i = 1; i < size; ++i) {
    const auto next = static_cast<unsigned char>(s[at + i]);
    if ((next & 0xC0) != 0x80) return stray;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < lowest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return stray;
  return {fold_case(value), size};
}

// Wildcard match with backtracking to the last '*': linear in practice, never exponential.
bool matches_one(std::string_view name, std::string_view pattern) {
  std::size_t n = 0, p = 0;
  std::size_t after_star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      after_star = ++p;
      resume = n;
      continue;
    }
    if (p < pattern.size()) {
      const Char wanted = char_at(pattern, p);
      const Char found = char_at(name, n);
      if (pattern[p] == '?' || wanted.folded == found.folded) {
        n += found.size;
        p += wanted.size;
        continue;
      }
    }
    if (after_star == std::string_view::npos) return false;
    p = after_star;
    resume += char_at(name, resume).size;
    n = resume;
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
