#pragma once

#include <algorithm>
#include <string_view>

// Byte-text helpers that ignore everything but ASCII: file names, patterns and profile keys are
// bytes in no known encoding, so only A-Z fold and only the given characters trim.
namespace qv {

// The lower-case letter of an ASCII capital; any other byte as it is.
constexpr char ascii_lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when `a` and `b` are equal but for the letter case of ASCII letters.
constexpr bool equal_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return ascii_lower(x) == ascii_lower(y);
         });
}

// `text` without the characters of `strip` at either end (by default spaces only).
constexpr std::string_view trim(std::string_view text, std::string_view strip = " ") {
  const std::size_t first = text.find_first_not_of(strip);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(strip) - first + 1);
}

}  // namespace qv
