#include "engine/tag_search.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "engine/backward_search.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define QV_HAVE_AVX2_SEARCH 1
#endif

namespace qv {
namespace {

// The work of comparing the needle at a start where its first `matched` bytes matched, counted in
// bytes: a fixed cost per comparison, plus the bytes compared.
std::size_t check_cost(std::size_t matched) { return 32 + matched; }

// The comparison work allowed after `scanned` start positions have been filtered: some, then one
// byte per 16 positions (a short comparison per 512). Ordinary pages stay far below it; pages where
// the filter lets many positions through, or where comparisons run deep, exceed it quickly and go
// to a search whose time does not grow with the needle's length.
bool over_budget(std::size_t work, std::size_t scanned) { return work > 512 + scanned / 16; }

// The last start below `end` where `needle` occurs, by the search that has no slow case.
std::optional<std::size_t> find_last_before(std::string_view haystack, std::string_view needle,
                                            std::size_t end);

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
  const char* const top = haystack.data() + haystack.size();
  const char* end = top;
  std::size_t work = 0;
  while (const char* hit = last_byte(begin, end, last)) {
    const char* start = hit - rest;
    const std::size_t matched = common_prefix(start, needle.data(), rest);
    if (matched == rest) return static_cast<std::size_t>(start - haystack.data());
    end = hit;
    work += check_cost(matched);
    if (over_budget(work, static_cast<std::size_t>(top - end)))
      return find_last_before(haystack, needle, static_cast<std::size_t>(start - haystack.data()));
  }
  return std::nullopt;
}

#if QV_HAVE_AVX2_SEARCH

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

// The last start among the set bits of `mask` (bit k standing for the start `start + k`) where
// the whole needle matches; none when there is none.
std::optional<std::size_t> check_candidates(std::string_view haystack, std::string_view needle,
                                            std::size_t start, std::uint32_t mask,
                                            std::size_t& work) {
  while (mask != 0) {
    const int bit = 31 - __builtin_clz(mask);
    const std::size_t at = start + static_cast<std::size_t>(bit);
    const std::size_t matched = common_prefix(haystack.data() + at, needle.data(), needle.size());
    if (matched == needle.size()) return at;
    work += check_cost(matched);
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

  const std::size_t top = haystack.size() - needle.size() + 1;  // one past the last start
  std::size_t end = top;
  std::size_t work = 0;
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
      if (auto at = check_candidates(haystack, needle, high, high_mask, work)) return at;
      const auto low_mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(low_hits));
      if (auto at = check_candidates(haystack, needle, low, low_mask, work)) return at;
      if (over_budget(work, top - low)) return find_last_before(haystack, needle, low);
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

// Needles up to this length are searched, once the filter has given up, by comparing every one
// of their bytes at 32 start positions at a time: no candidate is left to check.
constexpr std::size_t kExactLength = 16;

// Where the 32 bytes from block + i equal the 32 bytes at `same` (one byte repeated). Vectors are
// loaded from plain bytes rather than kept in an array of vectors: GCC cannot align 32-byte stack
// slots on 64-bit Windows.
__attribute__((target("avx2"), always_inline)) inline __m256i equal_at(const char* block,
                                                                       std::size_t i,
                                                                       const char* same) {
  return _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + i)),
                           _mm256_loadu_si256(reinterpret_cast<const __m256i*>(same)));
}

// The last start below `end` where `needle` (at most kExactLength bytes) occurs.
__attribute__((target("avx2"))) std::optional<std::size_t> find_last_exact_avx2(
    std::string_view haystack, std::string_view needle, std::size_t end) {
  char repeated[kExactLength][32];
  for (std::size_t i = 0; i < needle.size(); ++i) std::memset(repeated[i], needle[i], 32);
  while (end >= 32) {
    const std::size_t low = end - 32;
    const char* block = haystack.data() + low;
    // Two chains of ands, so that they overlap.
    __m256i even = equal_at(block, 0, repeated[0]);
    __m256i odd = equal_at(block, 1, repeated[1]);
    for (std::size_t i = 2; i + 1 < needle.size(); i += 2) {
      even = _mm256_and_si256(even, equal_at(block, i, repeated[i]));
      odd = _mm256_and_si256(odd, equal_at(block, i + 1, repeated[i + 1]));
    }
    if (needle.size() % 2 != 0)
      even =
          _mm256_and_si256(even, equal_at(block, needle.size() - 1, repeated[needle.size() - 1]));
    const __m256i all = _mm256_and_si256(even, odd);
    if (const auto mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(all)); mask != 0)
      return low + static_cast<std::size_t>(31 - __builtin_clz(mask));
    end = low;
  }
  while (end-- > 0)
    if (std::memcmp(haystack.data() + end, needle.data(), needle.size()) == 0) return end;
  return std::nullopt;
}

#endif

std::optional<std::size_t> find_last_before(std::string_view haystack, std::string_view needle,
                                            std::size_t end) {
  if (end == 0) return std::nullopt;
#if QV_HAVE_AVX2_SEARCH
  if (needle.size() <= kExactLength && have_avx2())
    return find_last_exact_avx2(haystack, needle, end);
#endif
  return find_last_skipping(haystack.substr(0, end + needle.size() - 1), needle);
}

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
