#include "engine/tag_search.h"

#include <gtest/gtest.h>
#include <string>

#include "engine/backward_search.h"

namespace qv {
namespace {

// The last start position by brute force over every position, as the rule defines it.
std::optional<std::size_t> last_by_every_position(std::string_view hay, std::string_view needle) {
  std::optional<std::size_t> found;
  for (std::size_t f = 0; needle.size() <= hay.size() && f <= hay.size() - needle.size(); ++f)
    if (hay.substr(f, needle.size()) == needle) found = f;
  return found;
}

TEST(TagSearch, findsTheLastOfSeveralOccurrences) {
  EXPECT_EQ(find_last("a</body>b</body>c</body>d", "</body>"), 17u);
  EXPECT_EQ(find_last("</body>", "</body>"), 0u);
  EXPECT_EQ(find_last("x</body>", "</body>"), 1u);
}

TEST(TagSearch, overlappingOccurrencesGiveTheLastStart) {
  EXPECT_EQ(find_last("aaaa", "aa"), 2u);
  EXPECT_EQ(find_last("abababa", "aba"), 4u);
}

TEST(TagSearch, missingShorterOrDifferentlyCasedNeedleIsNone) {
  EXPECT_EQ(find_last("<html></html>", "</body>"), std::nullopt);
  EXPECT_EQ(find_last("</bod", "</body>"), std::nullopt);
  EXPECT_EQ(find_last("", "</body>"), std::nullopt);
  EXPECT_EQ(find_last("text</BODY>", "</body>"), std::nullopt);
}

TEST(TagSearch, emptyNeedleMatchesAfterTheLastByte) {
  EXPECT_EQ(find_last("abc", ""), 3u);
  EXPECT_EQ(find_last("", ""), 0u);
}

TEST(TagSearch, bytesAreComparedExactlyWhateverTheirValue) {
  std::string hay("\0\x1a\xff</body>\0\x80", 12);
  EXPECT_EQ(find_last(hay, "</body>"), 3u);
  EXPECT_EQ(find_last(hay, std::string_view("\0\x80", 2)), 10u);
  EXPECT_EQ(find_last(hay, std::string_view("\0", 1)), 10u);
}

TEST(TagSearch, agreesWithEveryPositionScanOnGeneratedTexts) {
  const std::string alphabet = "ab<>/";
  unsigned seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7fff; };
  for (int round = 0; round < 3000; ++round) {
    std::string hay, needle;
    for (unsigned i = next() % 40; i > 0; --i) hay += alphabet[next() % alphabet.size()];
    for (unsigned i = next() % 4; i > 0; --i) needle += alphabet[next() % alphabet.size()];
    ASSERT_EQ(find_last(hay, needle), last_by_every_position(hay, needle))
        << "haystack '" << hay << "' needle '" << needle << "'";
  }
}

// Long pages go through the vector search in blocks of 64 positions, with a few positions at
// each end compared one by one: matches are placed at every distance from the ends and from the
// block edges, the page starting at every alignment, among near-matches of the tag.
TEST(TagSearch, agreesWithEveryPositionScanOnPagesSpanningSeveralBlocks) {
  const std::string near_matches[] = {"</bod", "ody>", "</span>", "b", "y", "<", ">", "x"};
  const std::string needles[] = {"</body>", "by", "yb", "</", "y", "bbbb", "</body></html>"};
  unsigned seed = 777;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7fff; };
  std::string buffer;
  for (int round = 0; round < 2000; ++round) {
    std::string page;
    for (unsigned length = 100 + next() % 300; page.size() < length;)
      page += near_matches[next() % std::size(near_matches)];
    const std::string& needle = needles[next() % std::size(needles)];
    if (next() % 2 == 0) page.insert(next() % page.size(), needle);
    buffer.assign(next() % 64, '-');  // shifts the page against the vector alignment
    buffer += page;
    const std::string_view hay = std::string_view(buffer).substr(buffer.size() - page.size());
    ASSERT_EQ(find_last(hay, needle), last_by_every_position(hay, needle))
        << "page '" << page << "' needle '" << needle << "'";
  }
}

// Pages where nearly every position passes the byte filter (periodic pages, needles that are
// almost their period) make the search give up the filter part way down the page; the result
// must not change, whichever search finishes the page. The skipping search is also checked alone,
// as it is the whole search where the vector filter is not available.
TEST(TagSearch, agreesWithEveryPositionScanOnPeriodicPagesAndNeedles) {
  unsigned seed = 4242;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7fff; };
  for (int round = 0; round < 1500; ++round) {
    std::string period;
    for (unsigned i = 1 + next() % 12; i > 0; --i) period += "ab<"[next() % (next() % 2 + 2)];
    std::string page;
    for (unsigned length = next() % 3000; page.size() < length;) page += period;
    std::string needle;
    for (unsigned length = 2 + next() % 40; needle.size() < length;) needle += period;
    needle.resize(2 + next() % 40);
    if (next() % 2 == 0) needle[next() % needle.size()] = "ab<"[next() % 3];
    if (!page.empty() && next() % 4 == 0) page[next() % page.size()] = 'x';
    if (next() % 3 == 0) {  // once, or twice a few bytes apart
      const std::size_t at = next() % (page.size() + 1);
      page.insert(at, needle);
      if (next() % 2 == 0) page.insert(at + next() % 20, needle);
    }
    const auto expected = last_by_every_position(page, needle);
    ASSERT_EQ(find_last(page, needle), expected)
        << "page '" << page << "' needle '" << needle << "'";
    if (needle.size() <= page.size()) {
      ASSERT_EQ(find_last_skipping(page, needle), expected)
          << "page '" << page << "' needle '" << needle << "'";
    }
  }
}

// Pages made of near-copies of the needle (one byte changed, or a byte short) defeat the filter, so
// the search goes on with its second pair or with the search that has no slow case, from wherever
// the filter gave up; needles of short period (a run of one byte, a few bytes repeated) up to
// hundreds of bytes long, and needles without one, on pages of a few thousand bytes.
TEST(TagSearch, agreesWithEveryPositionScanOnPagesOfNearCopiesOfLongNeedles) {
  unsigned seed = 99;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7fff; };
  for (int round = 0; round < 400; ++round) {
    std::string needle;
    const unsigned period = 1 + next() % (next() % 4 == 0 ? 40 : 5);
    for (unsigned i = 0; i < period; ++i) needle += "ab</>"[next() % (next() % 2 + 2)];
    for (unsigned length = 2 + next() % 300; needle.size() < length;) needle += needle;
    needle.resize(2 + next() % 300);
    std::string page;
    while (page.size() < 2000 + next() % 4000) {
      std::string copy = needle;
      if (next() % 2 == 0) {
        copy[next() % copy.size()] = 'x';
      } else {
        copy.pop_back();
      }
      page += copy;
    }
    if (next() % 2 == 0)
      page.replace(next() % (page.size() - needle.size()), needle.size(), needle);
    ASSERT_EQ(find_last(page, needle), last_by_every_position(page, needle))
        << "page '" << page << "' needle '" << needle << "'";
  }
}

TEST(TagSearch, longPageWithTheTagNearItsStartIsFound) {
  std::string page = "<p></body>" + std::string(100000, 'x');
  EXPECT_EQ(find_last(page, "</body>"), 3u);
}

}  // namespace
}  // namespace qv
