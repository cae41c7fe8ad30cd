#include "engine/backward_search.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

namespace qv {
namespace {

// shifts[k]: how far the needle may move towards the start after its first k bytes matched and
// byte k did not, so that no possible start is skipped (the strong good-suffix rule of
// Boyer-Moore, for the needle read backwards: its matched prefix must reappear, followed by a
// different byte, or overhang the page's start side).
std::vector<std::size_t> good_prefix_shifts(std::string_view needle) {
  const auto m = static_cast<std::ptrdiff_t>(needle.size());
  auto x = [&](std::ptrdiff_t i) { return needle[static_cast<std::size_t>(m - 1 - i)]; };
  // suffix[i]: the length of the longest common suffix of x[0..i] and x (x = needle reversed).
  std::vector<std::ptrdiff_t> suffix(static_cast<std::size_t>(m));
  suffix[static_cast<std::size_t>(m - 1)] = m;
  std::ptrdiff_t g = m - 1;
  std::ptrdiff_t f = m - 1;
  for (std::ptrdiff_t i = m - 2; i >= 0; --i) {
    if (i > g && suffix[static_cast<std::size_t>(i + m - 1 - f)] < i - g) {
      suffix[static_cast<std::size_t>(i)] = suffix[static_cast<std::size_t>(i + m - 1 - f)];
    } else {
      g = std::min(g, i);
      f = i;
      while (g >= 0 && x(g) == x(g + m - 1 - f)) --g;
      suffix[static_cast<std::size_t>(i)] = f - g;
    }
  }
  // shift[j]: the shift after a mismatch at x[j] (x[j+1..m) matched).
  std::vector<std::size_t> shift(static_cast<std::size_t>(m), static_cast<std::size_t>(m));
  std::ptrdiff_t j = 0;
  for (std::ptrdiff_t i = m - 1; i >= 0; --i)
    if (suffix[static_cast<std::size_t>(i)] == i + 1)
      for (; j < m - 1 - i; ++j)
        if (shift[static_cast<std::size_t>(j)] == static_cast<std::size_t>(m))
          shift[static_cast<std::size_t>(j)] = static_cast<std::size_t>(m - 1 - i);
  for (std::ptrdiff_t i = 0; i <= m - 2; ++i)
    shift[static_cast<std::size_t>(m - 1 - suffix[static_cast<std::size_t>(i)])] =
        static_cast<std::size_t>(m - 1 - i);
  // x[j] is needle[m - 1 - j]: index by the needle's own positions.
  std::reverse(shift.begin(), shift.end());
  return shift;
}

}  // namespace

std::size_t common_prefix(const char* a, const char* b, std::size_t size) {
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t x;
    std::uint64_t y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y) {
      const std::uint64_t differ = x ^ y;
      const int bit = std::endian::native == std::endian::little ? std::countr_zero(differ)
                                                                 : std::countl_zero(differ);
      return i + static_cast<std::size_t>(bit / 8);
    }
  }
  while (i < size && a[i] == b[i]) ++i;
  return i;
}

std::optional<std::size_t> find_last_skipping(std::string_view haystack, std::string_view needle) {
  const std::size_t m = needle.size();
  const std::vector<std::size_t> shifts = good_prefix_shifts(needle);
  // first[c]: the first position of byte c in the needle, m when it has none.
  std::array<std::size_t, 256> first;
  first.fill(m);
  for (std::size_t i = m; i-- > 0;) first[static_cast<unsigned char>(needle[i])] = i;

  // at_first[c]: the shift when the first byte compared is c and differs (0 when it matches),
  // so that the most common step reads one byte and one table entry.
  std::array<std::size_t, 256> at_first;
  for (std::size_t c = 0; c < 256; ++c) at_first[c] = std::max(shifts[0], first[c]);
  at_first[static_cast<unsigned char>(needle[0])] = 0;

  std::size_t end = haystack.size() - m + 1;  // one past the last start still possible
  while (end > 0) {
    const std::size_t at = end - 1;
    if (const std::size_t shift = at_first[static_cast<unsigned char>(haystack[at])]; shift != 0) {
      end = shift < end ? end - shift : 0;
      continue;
    }
    const std::size_t k = common_prefix(haystack.data() + at, needle.data(), m);
    if (k == m) return at;
    // The byte that differed must meet its own value in the needle once it has moved.
    const std::size_t seen = first[static_cast<unsigned char>(haystack[at + k])];
    const std::size_t bad_byte = seen > k ? seen - k : 1;
    const std::size_t shift = std::max(shifts[k], bad_byte);
    end = shift < end ? end - shift : 0;
  }
  return std::nullopt;
}

}  // namespace qv
