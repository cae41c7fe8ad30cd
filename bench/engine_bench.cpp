// Engine micro-benchmarks: the last-tag search and the framed insertion written into a
// preallocated buffer, against a plain memcpy of the same result (the floor no insertion can beat).
// Pages of 20 KB, 1 MB and 100 MB of tag-dense HTML, with the tag near the end, near the start or
// absent, and hostile 1 MB pages that offer the search many near-matches: some where the filter
// on the tag's rarest bytes finds nothing, some where nearly every position passes it.
#include <benchmark/benchmark.h>
#include <cstring>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "engine/insertion.h"
#include "engine/tag_search.h"

namespace {

constexpr std::string_view kTag = "</body>";
constexpr std::string_view kSnippet =
    "<!-- quorvane site counter -->\r\n<script>\r\n"
    "var quorvaneSite = \"https://stats.quorvane.example/c?site=4711&lang=fr|en\";\r\n"
    "var quorvanePath = location.pathname.replace(/\\\\/g, \"/\");\r\n"
    "var quorvaneNote = \"prices in $ & EUR\";\r\n"
    "(function (d) { var s = d.createElement('script');\r\n"
    "  s.src = quorvaneSite + '&p=' + quorvanePath; d.body.appendChild(s); })(document);\r\n"
    "</script>";

// A stretch of ordinary page content: short tags every few bytes, as in real sites.
constexpr std::string_view kBody =
    "<div class=\"news\"><h2>Summer market</h2>\r\n<p>The <b>garden</b> club meets at the "
    "<a href=\"/library.html\">library</a> every <i>Tuesday</i>; caf\xc3\xa9 and cr\xc3\xa8me "
    "br\xc3\xbbl\xc3\xa9\x65 for members.</p>\r\n<ul class=\"menu\"><li><a href=\"/news.html\">"
    "News</a></li><li><a href=\"/photos.html\">Photos</a></li><li><span>Contact</span></li>"
    "</ul>\r\n<table><tr><td>Ticket</td><td>12,00 &euro;</td></tr></table></div>\r\n";

enum class Where { near_end, near_start, absent };

std::string repeated(std::string_view unit, std::size_t size) {
  std::string out;
  out.reserve(size + unit.size());
  while (out.size() < size) out.append(unit);
  out.resize(size);
  return out;
}

// A page of `size` bytes whose only "</body>" is where `where` says.
std::string make_page(std::size_t size, Where where) {
  const std::string_view head = "<html><head><title>Page</title></head><body>\r\n";
  const std::string_view end = "</body>\r\n</html>\r\n";
  std::string page(head);
  if (where == Where::near_start) page.append(end);
  page += repeated(kBody, size - page.size() - end.size());
  page.append(where == Where::near_end ? end : std::string_view("<!-- bye -->\r\n</html>\r\n"));
  page.resize(size, ' ');
  return page;
}

// Hostile pages: the tag once, at the very start, then `unit` over and over.
std::string make_hostile(std::size_t size, std::string_view unit) {
  return std::string(kTag) + repeated(unit, size - kTag.size());
}

// A page and the tag searched in it.
struct Case {
  std::string page;
  std::string tag;
};

// The hostile pages in order; for the dense ones nearly every position is a candidate.
constexpr const char* kKindNames[] = {"near_end",     "near_start",  "absent",     "hostile_bod",
                                      "hostile_span", "hostile_ody", "dense_body", "dense_a4",
                                      "dense_a32",    "dense_a95",   "dense_a500", "dense_a10000"};
constexpr std::size_t kDenseLengths[] = {4, 32, 95, 500, 10000};

Case make_case(std::size_t size, int kind) {
  switch (kind) {
    case 0:
    case 1:
    case 2:
      return {make_page(size, static_cast<Where>(kind)), std::string(kTag)};
    case 3:
      return {make_hostile(size, "</bod"), std::string(kTag)};
    case 4:
      return {make_hostile(size, "</span>"), std::string(kTag)};  // the tag's ends, 7 apart
    case 5:
      return {make_hostile(size, "ody>"), std::string(kTag)};  // the tag's end, over and over
    case 6:
      return {make_hostile(size, "</body"), std::string(kTag)};  // all but the tag's last byte
    default: {
      // (a^(L-1) b)* with the tag a^L once at the start: every run of a's nearly matches.
      const std::size_t length = kDenseLengths[kind - 7];
      std::string unit(length - 1, 'a');
      unit += 'b';
      std::string tag(length, 'a');
      return {tag + "b" + repeated(unit, size - length - 1), tag};
    }
  }
}

// Pages are built once and shared by every benchmark that uses them.
const Case& case_for(std::size_t size, int kind) {
  static std::map<std::pair<std::size_t, int>, Case> cases;
  auto [it, added] = cases.try_emplace({size, kind});
  if (added) it->second = make_case(size, kind);
  return it->second;
}

const std::string& page_for(std::size_t size, int kind) { return case_for(size, kind).page; }

// The insertion as the tool does it: plan, then write the pieces one after another.
void BM_Insert(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const auto kind = static_cast<int>(state.range(1));
  const auto& [page, tag] = case_for(size, kind);
  std::string out(page.size() + kSnippet.size() + 2 * qv::kFrame.size(), '\0');
  for (auto _ : state) {
    std::optional<qv::Insertion> insertion = qv::insert_before_last(page, tag, kSnippet);
    if (insertion) {
      char* at = out.data();
      for (std::string_view piece : insertion->pieces()) {
        std::memcpy(at, piece.data(), piece.size());
        at += piece.size();
      }
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
  state.SetLabel(kKindNames[kind]);
}

// The search alone.
void BM_FindLast(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const auto kind = static_cast<int>(state.range(1));
  const auto& [page, tag] = case_for(size, kind);
  for (auto _ : state) {
    std::optional<std::size_t> at = qv::find_last(page, tag);
    benchmark::DoNotOptimize(at);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
  state.SetLabel(kKindNames[kind]);
}

// The floor: copying a result of the same size once.
void BM_Memcpy(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const std::string& page = page_for(size, 0);
  const std::size_t result = page.size() + kSnippet.size() + 2 * qv::kFrame.size();
  std::string in(page);
  in.resize(result, ' ');
  std::string out(result, '\0');
  for (auto _ : state) {
    std::memcpy(out.data(), in.data(), result);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}

constexpr std::int64_t kSizes[] = {20 << 10, 1 << 20, 100 << 20};

void page_arguments(benchmark::internal::Benchmark* b) {
  for (std::int64_t size : kSizes)
    for (int kind = 0; kind < 3; ++kind) b->Args({size, kind});
  for (int kind = 3; kind < static_cast<int>(std::size(kKindNames)); ++kind)
    b->Args({1 << 20, kind});
}

void size_arguments(benchmark::internal::Benchmark* b) {
  for (std::int64_t size : kSizes) b->Args({size});
}

BENCHMARK(BM_Memcpy)->Apply(size_arguments);
BENCHMARK(BM_Insert)->Apply(page_arguments);
BENCHMARK(BM_FindLast)->Apply(page_arguments);

}  // namespace

BENCHMARK_MAIN();
