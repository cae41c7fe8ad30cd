// Feeds the tag search and the insertion arbitrary pages, tags and texts. Properties: find_last
// gives what a naive scan of every position gives; the insertion is the page itself (none) when
// the tag does not occur, and otherwise the page with exactly one framed copy of the text added
// just before the last occurrence of the tag, its pieces viewing the page's own bytes.
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <optional>
#include <string>

#include "engine/insertion.h"
#include "engine/tag_search.h"
#include "fuzz/fuzz_check.h"

namespace {

std::optional<std::size_t> naive_find_last(std::string_view page, std::string_view tag) {
  if (tag.size() > page.size()) return std::nullopt;
  for (std::size_t at = page.size() - tag.size() + 1; at-- > 0;)
    if (page.compare(at, tag.size(), tag) == 0) return at;
  return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  // Long pages made of a repeated fragment reach the search's block-wise paths cheaply.
  const auto repeats = input.ConsumeIntegralInRange<std::size_t>(1, 16);
  const std::string tag = input.ConsumeRandomLengthString(24);
  const std::string text = input.ConsumeRandomLengthString(64);
  const std::string fragment = input.ConsumeRemainingBytesAsString();
  std::string page;
  for (std::size_t i = 0; i < repeats; ++i) page += fragment;

  const std::optional<std::size_t> expected = naive_find_last(page, tag);
  QV_FUZZ_CHECK(qv::find_last(page, tag) == expected);

  const std::optional<qv::Insertion> insertion = qv::insert_before_last(page, tag, text);
  QV_FUZZ_CHECK(insertion.has_value() == expected.has_value());
  if (!insertion) return 0;
  const std::size_t at = *expected;
  QV_FUZZ_CHECK(insertion->head.data() == page.data() && insertion->head.size() == at);
  QV_FUZZ_CHECK(insertion->tail.data() == page.data() + at);
  QV_FUZZ_CHECK(insertion->text == text);
  const std::string joined = insertion->joined();
  QV_FUZZ_CHECK(joined.size() == insertion->size());
  QV_FUZZ_CHECK(joined.size() == page.size() + text.size() + 4);
  const std::string frame = "\r\n" + text + "\r\n";
  QV_FUZZ_CHECK(joined.compare(0, at, page, 0, at) == 0);
  QV_FUZZ_CHECK(joined.compare(at, frame.size(), frame) == 0);
  QV_FUZZ_CHECK(joined.compare(at + frame.size(), std::string::npos, page, at) == 0);
  QV_FUZZ_CHECK(std::string_view(joined).substr(at + frame.size()).starts_with(tag));
  return 0;
}
