#include "engine/tag_search.h"

#include <algorithm>
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

RarePair rare_pair(std::string_view needle) {
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

// The comparisons made at candidates, counted from `top`, the start the filter began below.
struct Checks {
  std::size_t top = 0;
  std::size_t work = 0;
  std::size_t last_mismatch = 0;  // the first byte of the needle that differed, last time
  bool given_up = false;          // over budget: the starts below `given_up_at` are left
  std::size_t given_up_at = 0;
};

// The last start among the set bits of `mask` (bit k standing for the start `start + k`) where
// the whole needle matches; none when there is none, or when the comparisons went over budget
// before one matched (checks.given_up).
std::optional<std::size_t> check_candidates(std::string_view haystack, std::string_view needle,
                                            std::size_t start, std::uint32_t mask, Checks& checks) {
  while (mask != 0) {
    const int bit = 31 - __builtin_clz(mask);
    const std::size_t at = start + static_cast<std::size_t>(bit);
    const std::size_t matched = common_prefix(haystack.data() + at, needle.data(), needle.size());
    if (matched == needle.size()) return at;
    checks.work += check_cost(matched);
    checks.last_mismatch = matched;
    if (over_budget(checks.work, checks.top - at)) {
      checks.given_up = true;
      checks.given_up_at = at;
      return std::nullopt;
    }
    mask &= ~(std::uint32_t{1} << bit);
  }
  return std::nullopt;
}

// The filter's pair for a second try, when the first pair let too many positions through: the
// needle byte where the comparisons failed, with whichever byte of the first pair differs from it.
// None when there is no such pair (all the needle's bytes alike).
std::optional<RarePair> pair_at_mismatch(std::string_view needle, RarePair used,
                                         std::size_t mismatch) {
  std::size_t other = used.first;
  if (needle[other] == needle[mismatch]) other = used.second;
  if (needle[other] == needle[mismatch]) return std::nullopt;
  return mismatch < other ? RarePair{mismatch, other} : RarePair{other, mismatch};
}

// Walks the starts below `end` backwards 64 at a time, keeping those where both bytes of `pair`
// stand at their places (two vector compares), and compares the whole needle only at those. The
// loads of the second byte are aligned; the few starts left over at either end are compared one by
// one. When the comparisons cost too much, tries once more with a pair that includes the byte where
// they failed, then gives the rest of the page to the search that has no slow case.
__attribute__((target("avx2"))) std::optional<std::size_t> find_last_avx2(std::string_view haystack,
                                                                          std::string_view needle,
                                                                          RarePair pair,
                                                                          std::size_t end,
                                                                          bool second_try) {
  const char* first = haystack.data() + pair.first;
  const char* second = haystack.data() + pair.second;
  const __m256i first_byte = _mm256_set1_epi8(needle[pair.first]);
  const __m256i second_byte = _mm256_set1_epi8(needle[pair.second]);
  auto matches_at = [&](std::size_t at) {
    return first[at] == needle[pair.first] && second[at] == needle[pair.second] &&
           std::memcmp(haystack.data() + at, needle.data(), needle.size()) == 0;
  };

  Checks checks;
  checks.top = end;
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
      if (auto at = check_candidates(haystack, needle, high, high_mask, checks)) return at;
      if (!checks.given_up) {
        const auto low_mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(low_hits));
        if (auto at = check_candidates(haystack, needle, low, low_mask, checks)) return at;
      }
      if (checks.given_up) {
        if (!second_try)
          if (auto better = pair_at_mismatch(needle, pair, checks.last_mismatch))
            return find_last_avx2(haystack, needle, *better, checks.given_up_at, true);
        return find_last_before(haystack, needle, checks.given_up_at);
      }
    }
    end = low;
  }
  while (end > 0) {
    if (matches_at(--end)) return end;
  }
  return std::nullopt;
}

// AVX2, and the bit instructions that came with it (BMI1, BMI2), which the periodic search uses.
bool have_avx2() {
  static const bool have = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                           __builtin_cpu_supports("bmi2");
  return have;
}

// Needles whose smallest period is at most this long are searched, once the filter has given up,
// by the periodic search below; the others by Boyer-Moore.
constexpr std::size_t kShortPeriod = 16;

// The smallest period of `needle` (the least p such that needle[i] == needle[i + p] wherever both
// exist) when it is at most kShortPeriod; 0 when it is longer.
std::size_t short_period(std::string_view needle) {
  for (std::size_t p = 1; p <= kShortPeriod && p <= needle.size(); ++p)
    if (common_prefix(needle.data(), needle.data() + p, needle.size() - p) == needle.size() - p)
      return p;
  return 0;
}

// Keeps bit k of a mask where bits k to k + length - 1 were all set (1 <= length <= 32), by at
// most five shifts: each doubles the length of the runs checked, the last one tops it up.
class RunsOf {
 public:
  explicit RunsOf(std::size_t length) {
    std::size_t count = 0;
    for (std::size_t covered = 1; covered < length; covered += shifts_[count++])
      shifts_[count] = static_cast<unsigned>(std::min(covered, length - covered));
  }
  std::uint64_t operator()(std::uint64_t bits) const {  // a shift of 0 changes nothing
    bits &= bits >> shifts_[0];
    bits &= bits >> shifts_[1];
    bits &= bits >> shifts_[2];
    bits &= bits >> shifts_[3];
    return bits & bits >> shifts_[4];
  }

 private:
  unsigned shifts_[5] = {};
};

// Bits k with from <= k < to (from <= to <= 64).
std::uint64_t bits_between(std::size_t from, std::size_t to) {
  auto below = [](std::size_t k) {
    return k == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << k) - 1;
  };
  return below(to) & ~below(from);
}

// Where the 32 bytes from `at` equal the 32 bytes at `same` (one byte repeated). Vectors are
// loaded from plain bytes rather than kept in an array of vectors: GCC cannot align 32-byte stack
// slots on 64-bit Windows.
__attribute__((target("avx2"), always_inline)) inline __m256i equal_at(const char* at,
                                                                       const char* same) {
  return _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)),
                           _mm256_loadu_si256(reinterpret_cast<const __m256i*>(same)));
}

// Bit k: whether the page repeats itself p bytes further on at at + k, for the 64 positions from
// `at`; all set when none differs.
__attribute__((target("avx2"), always_inline)) inline std::uint64_t repeats_at(const char* at,
                                                                               std::size_t p) {
  const auto low = static_cast<std::uint32_t>(_mm256_movemask_epi8(equal_at(at, at + p)));
  const auto high =
      static_cast<std::uint32_t>(_mm256_movemask_epi8(equal_at(at + 32, at + 32 + p)));
  return low | std::uint64_t{high} << 32;
}

// Whether the page repeats itself p bytes further on at all the 64 positions from `at`.
__attribute__((target("avx2"), always_inline)) inline bool all_repeat(const char* at,
                                                                      std::size_t p) {
  const __m256i both = _mm256_and_si256(equal_at(at, at + p), equal_at(at + 32, at + 32 + p));
  return _mm256_testc_si256(both, _mm256_set1_epi8(-1)) != 0;
}

// Bit k: whether the first p bytes of the needle, repeated[0..p) (each byte 32 times), stand at
// at + k, for the 64 starts from `at`.
__attribute__((target("avx2"))) std::uint64_t prefix_at(const char* at, const char (*repeated)[32],
                                                        std::size_t p) {
  __m256i low = equal_at(at, repeated[0]);
  __m256i high = equal_at(at + 32, repeated[0]);
  for (std::size_t i = 1; i < p; ++i) {
    low = _mm256_and_si256(low, equal_at(at + i, repeated[i]));
    high = _mm256_and_si256(high, equal_at(at + 32 + i, repeated[i]));
  }
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(low)) |
         std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(high))} << 32;
}

// The last start below `end` where `needle`, of smallest period p <= kShortPeriod, occurs; the
// haystack holds at least 64 bytes more than the needle. The needle occurs at s exactly when its
// first p bytes do and the page repeats itself p bytes further on for the rest of its length:
// page[j] == page[j + p] for the rest = m - p positions j from s. Two vector compares tell where
// the page repeats at 64 positions; the starts followed by rest repeats are kept, and only at
// those are the first p bytes compared (p vector compares for 32 starts). For a short rest, the
// repeats are checked by shifts of those 64 bits, for the starts whose rest positions they
// cover; for a long one, blocks of at most rest starts are taken, as a break (a position where the
// page does not repeat) inside a block is within reach of every start below it: only the starts
// above the block's highest break, and far enough below the next break above, remain. The time is
// linear in the page whatever the needle and the bytes.
__attribute__((target("avx2,bmi,bmi2"))) std::optional<std::size_t> find_last_periodic_avx2(
    std::string_view haystack, std::string_view needle, std::size_t p, std::size_t end) {
  const char* const page = haystack.data();
  const std::size_t rest = needle.size() - p;
  char repeated[kShortPeriod][32];
  for (std::size_t i = 0; i < p; ++i) std::memset(repeated[i], needle[i], 32);
  if (rest <= 32) {
    // Starts from `low` to low + 64 - rest, whose rest positions lie within the 64 examined.
    const std::size_t step = rest == 0 ? 64 : 65 - rest;
    const RunsOf runs_of(rest == 0 ? 1 : rest);
    while (end > 0) {
      const std::size_t low = end >= step ? end - step : 0;
      std::uint64_t starts = bits_between(0, end - low);
      if (rest > 0) starts &= runs_of(repeats_at(page + low, p));
      if (starts != 0) starts &= prefix_at(page + low, repeated, p);
      if (starts != 0) return low + 63 - static_cast<std::size_t>(__builtin_clzll(starts));
      end = low;
    }
    return std::nullopt;
  }

  // Blocks of at most rest starts, from `low` up to `end`; the 64 positions examined start at
  // `base`, `low` being bit `shift` of them.
  const std::size_t step = std::min<std::size_t>(rest, 64);
  // The first break at or above `end`, as far as a start below `end` reaches.
  std::size_t next_break = end + common_prefix(page + end, page + end + p, rest - 1);
  while (end > 0) {
    // The common case on a page that defeats the filter: no break, none near enough above.
    while (end >= 64 && next_break < end - 64 + rest && all_repeat(page + end - 64, p)) end -= 64;
    if (end == 0) break;
    const std::size_t low = end >= step ? end - step : 0;
    const std::size_t base = end >= 64 ? end - 64 : 0;
    const std::size_t shift = low - base;
    const std::uint64_t breaks =
        ~(repeats_at(page + base, p) >> shift) & bits_between(0, end - low);
    const std::size_t from =
        breaks == 0 ? 0 : 64 - static_cast<std::size_t>(__builtin_clzll(breaks));
    if (next_break >= low + rest + from) {
      const std::uint64_t starts = (prefix_at(page + base, repeated, p) >> shift) &
                                   bits_between(from, std::min(end, next_break - rest + 1) - low);
      if (starts != 0) return low + 63 - static_cast<std::size_t>(__builtin_clzll(starts));
    }
    if (breaks != 0) next_break = low + static_cast<std::size_t>(__builtin_ctzll(breaks));
    end = low;
  }
  return std::nullopt;
}

#endif

std::optional<std::size_t> find_last_before(std::string_view haystack, std::string_view needle,
                                            std::size_t end) {
  if (end == 0) return std::nullopt;
#if QV_HAVE_AVX2_SEARCH
  if (haystack.size() >= needle.size() + 64 && have_avx2())
    if (const std::size_t period = short_period(needle); period != 0)
      return find_last_periodic_avx2(haystack, needle, period, end);
#endif
  return find_last_skipping(haystack.substr(0, end + needle.size() - 1), needle);
}

}  // namespace

std::optional<std::size_t> find_last(std::string_view haystack, std::string_view needle) {
  if (needle.size() > haystack.size()) return std::nullopt;
  if (needle.empty()) return haystack.size();
#if QV_HAVE_AVX2_SEARCH
  if (needle.size() > 1 && have_avx2())
    return find_last_avx2(haystack, needle, rare_pair(needle), haystack.size() - needle.size() + 1,
                          false);
#endif
  return find_last_bytewise(haystack, needle);
}

}  // namespace qv
