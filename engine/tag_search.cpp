#include "engine/tag_search.h"

#include <array>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define QV_HAVE_AVX2_SEARCH 1
#endif

namespace qv {
namespace {

// Bytes of web pages and text from the most to the least common; any other byte is rarer than
// all of them. Candidates are filtered on the needle's two rarest bytes, so that a search through
// tag-dense HTML stops as seldom as possible to compare the whole needle.
constexpr std::string_view kCommonBytes =
    " etaoinsr<>/=\"lhdc\n\rpmu.-:fg,wyb;&#0123456789_vkTSACIEOPRNLDM'()xjqzBFHGWUKVYJQXZ!?%*+@[]";

constexpr std::array<std::uint8_t, 256> kCommonness = [] {
  std::array<std::uint8_t, 256> rank{};
  for (std::size_t i = 0; i < kCommonBytes.size(); ++i)
    rank[static_cast<unsigned char>(kCommonBytes[i])] =
        static_cast<std::uint8_t>(kCommonBytes.size() - i);
  return rank;
}();

std::uint8_t commonness(char c) { return kCommonness[static_cast<unsigned char>(c)]; }

// Two positions of the needle (first < second): its rarest byte, and the rarest byte of another
// value (any other position when all its bytes are the same).
struct RarePair {
  std::size_t first;
  std::size_t second;
};

[[maybe_unused]] RarePair rare_pair(std::string_view needle) {  // only the AVX2 search uses it
  std::size_t rarest = 0;
  for (std::size_t i = 1; i < needle.size(); ++i)
    if (commonness(needle[i]) < commonness(needle[rarest])) rarest = i;
  std::size_t other = rarest == 0 ? needle.size() - 1 : 0;
  bool other_differs = false;
  for (std::size_t i = 0; i < needle.size(); ++i) {
    if (needle[i] == needle[rarest]) continue;
    if (!other_differs || commonness(needle[i]) < commonness(needle[other])) other = i;
    other_differs = true;
  }
  return rarest < other ? RarePair{rarest, other} : RarePair{other, rarest};
}

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

// Portable search: from one occurrence of the needle's last byte to the previous one, comparing
// the whole needle only there.
std::optional<std::size_t> find_last_bytewise(std::string_view haystack, std::string_view needle) {
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

#if QV_HAVE_AVX2_SEARCH

// The last start among the set bits of `mask` (bit k standing for the start `start + k`) where
// the whole needle matches; none when there is none.
std::optional<std::size_t> check_candidates(std::string_view haystack, std::string_view needle,
                                            std::size_t start, std::uint32_t mask) {
  while (mask != 0) {
    const int bit = 31 - __builtin_clz(mask);
    const std::size_t at = start + static_cast<std::size_t>(bit);
    if (std::memcmp(haystack.data() + at, needle.data(), needle.size()) == 0) return at;
    mask &= ~(std::uint32_t{1} << bit);
  }
  return std::nullopt;
}

// Walks the haystack backwards 64 start positions at a time, keeping those where both rare bytes
// of the needle stand at their places (two vector compares), and compares the whole needle only
// at those. The loads of the second rare byte are aligned; the few starts left over at either end
// are compared one by one.
__attribute__((target("avx2"))) std::optional<std::size_t> find_last_avx2(std::string_view haystack,
                                                                          std::string_view needle) {
  const RarePair pair = rare_pair(needle);
  const char* first = haystack.data() + pair.first;
  const char* second = haystack.data() + pair.second;
  const __m256i first_byte = _mm256_set1_epi8(needle[pair.first]);
  const __m256i second_byte = _mm256_set1_epi8(needle[pair.second]);
  auto matches_at = [&](std::size_t at) {
    return first[at] == needle[pair.first] && second[at] == needle[pair.second] &&
           std::memcmp(haystack.data() + at, needle.data(), needle.size()) == 0;
  };

  std::size_t end = haystack.size() - needle.size() + 1;  // one past the last possible start
  while (end > 0 && reinterpret_cast<std::uintptr_t>(second + end) % 64 != 0) {
    if (matches_at(--end)) return end;
  }
  while (end >= 64) {
    const std::size_t low = end - 64;
    const std::size_t high = end - 32;
    const __m256i low_hits = _mm256_and_si256(
        _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(first + low)),
                          first_byte),
        _mm256_cmpeq_epi8(_mm256_load_si256(reinterpret_cast<const __m256i*>(second + low)),
                          second_byte));
    const __m256i high_hits = _mm256_and_si256(
        _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(first + high)),
                          first_byte),
        _mm256_cmpeq_epi8(_mm256_load_si256(reinterpret_cast<const __m256i*>(second + high)),
                          second_byte));
    const __m256i any = _mm256_or_si256(low_hits, high_hits);
    if (!_mm256_testz_si256(any, any)) [[unlikely]] {
      const auto high_mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(high_hits));
      if (auto at = check_candidates(haystack, needle, high, high_mask)) return at;
      const auto low_mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(low_hits));
      if (auto at = check_candidates(haystack, needle, low, low_mask)) return at;
    }
    end = low;
  }
  while (end > 0) {
    if (matches_at(--end)) return end;
  }
  return std::nullopt;
}

bool have_avx2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
}

#endif

}  // namespace

std::optional<std::size_t> find_last(std::string_view haystack, std::string_view needle) {
  if (needle.size() > haystack.size()) return std::nullopt;
  if (needle.empty()) return haystack.size();
#if QV_HAVE_AVX2_SEARCH
  if (needle.size() > 1 && have_avx2()) return find_last_avx2(haystack, needle);
#endif
  return find_last_bytewise(haystack, needle);
}

}  // namespace qv
