#include "engine/tag_search.h"

#include <cstring>

namespace qv {
namespace {

// The last position in [begin, end) holding `c`, or nullptr.
const char* last_byte(const char* begin, const char* end, char c) {
#if defined(__GLIBC__)
  return static_cast<const char*>(::memrchr(begin, c, static_cast<std::size_t>(end - begin)));
#else
  while (end != begin) {
    if (*--end == c) return end;
  }
  return nullptr;
#endif
}

}  // namespace

std::optional<std::size_t> find_last(std::string_view haystack, std::string_view needle) {
  if (needle.size() > haystack.size()) return std::nullopt;
  if (needle.empty()) return haystack.size();

  // Walk backwards from one occurrence of the needle's last byte to the previous one; each is
  // the end of a candidate match, checked in full only there.
  const char last = needle.back();
  const std::size_t rest = needle.size() - 1;
  const char* begin = haystack.data() + rest;  // a match cannot end before this
  const char* end = haystack.data() + haystack.size();
  while (const char* hit = last_byte(begin, end, last)) {
    const char* start = hit - rest;
    if (std::memcmp(start, needle.data(), rest) == 0)
      return static_cast<std::size_t>(start - haystack.data());
    end = hit;
  }
  return std::nullopt;
}

}  // namespace qv
